#!/usr/bin/env python3
"""Checks the Windows resources of a built Velmora.exe.

Usage: check_exe.py Velmora.exe

Reads the PE file's resource tree and verifies the manifest (type 24, ID 1),
the version record (type 16, ID 1), the icon group MAINICON with its five
images and the form description TFORM2, all in language 1033. Prints what it
found; exits 1 with the list of problems when anything is off.
"""
import struct
import sys

ENGLISH_US = 0x409
SUPPORTED_OS = {
    "Windows Vista": "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
    "Windows 7": "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "Windows 8": "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "Windows 8.1": "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "Windows 10": "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}
VERSION_STRINGS = ["FileDescription", "FileVersion", "ProgramID", "ProductName", "ProductVersion"]


class PeImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not an executable (no MZ header)")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        if self.magic != 0x10B:
            raise ValueError("not a 32-bit (PE32) image")
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + 96
        self.resource_rva, self.resource_size = struct.unpack_from("<II", data, directories + 2 * 8)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"address {rva:#x} lies in no section")

    def resources(self):
        """{(type, name, language): bytes}; names are ints or strings."""
        found = {}
        if not self.resource_rva:
            return found
        base = self.offset(self.resource_rva)

        def name_of(entry_name):
            if entry_name & 0x80000000:
                at = base + (entry_name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, at)[0]
                return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            return entry_name

        def walk(directory, path):
            named, ids = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + ids):
                entry_name, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                key = path + [name_of(entry_name)]
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, key)
                else:
                    rva, size, _, _ = struct.unpack_from("<IIII", self.data, base + target)
                    start = self.offset(rva)
                    found[tuple(key)] = self.data[start:start + size]

        walk(0, [])
        return found


def parse_version_block(data, at=0):
    """One VS_VERSIONINFO-style block: (key, value bytes, text flag, children)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_start = at + 6
    key_end = key_start
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[key_start:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = data[value_at:value_at + value_bytes]
    children = []
    child = (value_at + value_bytes + 3) & ~3
    while child < end:
        block = parse_version_block(data, child)
        children.append(block)
        child = (child + block[4] + 3) & ~3
    return key, value, kind, children, length


def check_manifest(text, problems):
    if not text.startswith("<?xml") or 'standalone="yes"' not in text.split("?>")[0]:
        problems.append("manifest: no XML declaration with standalone=\"yes\"")
    expectations = {
        "manifestVersion": 'manifestVersion="1.0"',
        "dpiAware": ">true/pm</dpiAware>",
        "dpiAwareness": ">PerMonitorV2</dpiAwareness>",
        "common controls": 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
        "public key token": 'publicKeyToken="6595b64144ccf1df"',
        "execution level": 'level="asInvoker" uiAccess="false"',
    }
    flat = " ".join(text.split())
    for what, needle in expectations.items():
        if needle not in flat:
            problems.append(f"manifest: {what} missing ({needle})")
    for system, identifier in SUPPORTED_OS.items():
        if f'Id="{identifier}"' not in flat:
            problems.append(f"manifest: supportedOS for {system} missing")


def check_version(data, problems):
    key, fixed, _, children, _ = parse_version_block(data)
    if key != "VS_VERSION_INFO":
        problems.append(f"version: root key is {key!r}")
        return
    fields = struct.unpack_from("<13I", fixed)
    signature, _, file_ms, file_ls, product_ms, product_ls, mask, flags, system, kind, subtype, date_ms, date_ls = fields
    if signature != 0xFEEF04BD:
        problems.append("version: fixed part has no signature")
    expected = {"file version": ((file_ms, file_ls), (0x10000, 0)), "product version": ((product_ms, product_ls), (0x10000, 0)),
                "flags mask": (mask, 0x3F), "flags": (flags, 0), "operating system": (system, 4),
                "file type": (kind, 1), "file subtype": (subtype, 0), "file date": ((date_ms, date_ls), (0, 0))}
    for what, (actual, wanted) in expected.items():
        if actual != wanted:
            problems.append(f"version: {what} is {actual}, expected {wanted}")
    strings = {}
    order = []
    translation = None
    for child_key, _, _, grandchildren, _ in children:
        if child_key == "StringFileInfo":
            for table_key, _, _, entries, _ in grandchildren:
                if table_key != "040904E4":
                    problems.append(f"version: string table {table_key!r}, expected '040904E4'")
                for entry_key, value, _, _, _ in entries:
                    order.append(entry_key)
                    strings[entry_key] = value.decode("utf-16-le").rstrip("\0")
        elif child_key == "VarFileInfo":
            for var_key, value, _, _, _ in grandchildren:
                if var_key == "Translation":
                    translation = struct.unpack_from("<HH", value)
    if order != VERSION_STRINGS:
        problems.append(f"version: strings {order}, expected {VERSION_STRINGS}")
    for key, wanted in [("FileDescription", "Velmora"), ("FileVersion", "1.0.0.0"), ("ProductName", "Velmora"),
                        ("ProductVersion", "1.0.0.0")]:
        if strings.get(key) != wanted:
            problems.append(f"version: {key} is {strings.get(key)!r}, expected {wanted!r}")
    program_id = strings.get("ProgramID", "")
    labels = program_id.split(".")
    if len(labels) != 3 or not all(labels) or labels[-1] != "Velmora":
        problems.append(f"version: ProgramID {program_id!r} is not three labels ending in the product name")
    if translation != (0x0409, 0x04E4):
        problems.append(f"version: translation {translation}, expected (0x0409, 0x04E4)")
    return strings


def check_icons(resources, problems):
    group = resources.get((14, "MAINICON", ENGLISH_US))
    if group is None:
        problems.append("icon: no icon group MAINICON in language 1033")
        return []
    reserved, kind, count = struct.unpack_from("<HHH", group)
    if (reserved, kind, count) != (0, 1, 5):
        problems.append(f"icon: group header {(reserved, kind, count)}, expected (0, 1, 5)")
    wanted = {1: (16, "bitmap"), 2: (24, "bitmap"), 3: (32, "bitmap"), 4: (48, "bitmap"), 5: (256, "png")}
    seen = []
    for i in range(count):
        width, height, _, _, planes, bits, size, image_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        width, height = width or 256, height or 256
        image = resources.get((3, image_id, ENGLISH_US))
        if image is None:
            problems.append(f"icon: image {image_id} missing")
            continue
        if len(image) != size:
            problems.append(f"icon: image {image_id} is {len(image)} bytes, the group says {size}")
        if planes != 1 or bits != 32:
            problems.append(f"icon: image {image_id} has {planes} planes, {bits} bits")
        if image_id not in wanted or wanted[image_id][0] != width or width != height:
            problems.append(f"icon: image {image_id} is {width}x{height}")
            continue
        if wanted[image_id][1] == "png":
            if image[:8] != b"\x89PNG\r\n\x1a\n" or struct.unpack_from(">II", image, 16) != (256, 256):
                problems.append(f"icon: image {image_id} is no 256x256 PNG")
        else:
            header, w, h, plane_count, depth = struct.unpack_from("<IiiHH", image)
            mask = ((w + 31) // 32) * 4 * w
            if (header, w, h, plane_count, depth) != (40, width, 2 * width, 1, 32) or len(image) != 40 + 4 * w * w + mask:
                problems.append(f"icon: image {image_id} is no {width}x{width} 32-bit bitmap with mask")
        seen.append(f"{width}x{height} {wanted[image_id][1]}")
    return seen


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        image = PeImage(f.read())
    problems = []
    if image.subsystem != 2:
        problems.append(f"subsystem {image.subsystem}, expected 2 (Windows GUI)")
    if image.machine != 0x14C:
        problems.append(f"machine {image.machine:#x}, expected 0x14c (i386)")
    resources = image.resources()
    manifest = resources.get((24, 1, ENGLISH_US))
    if manifest is None:
        problems.append("manifest: no resource type 24, ID 1 in language 1033")
    else:
        check_manifest(manifest.decode("utf-8"), problems)
    version = resources.get((16, 1, ENGLISH_US))
    strings = {}
    if version is None:
        problems.append("version: no resource type 16, ID 1 in language 1033")
    else:
        strings = check_version(version, problems) or {}
    icons = check_icons(resources, problems)
    form = resources.get((10, "TFORM2", ENGLISH_US))
    if form is None or not form.startswith(b"TPF0"):
        problems.append("TFORM2: no form description resource starting with TPF0")

    print(f"resources: manifest {'present' if manifest else 'missing'}; version "
          f"{strings.get('FileVersion', '?')} ({strings.get('ProgramID', '?')}); MAINICON {', '.join(icons)}; "
          f"TFORM2 {len(form) if form else 0} bytes")
    if problems:
        for problem in problems:
            print(f"  problem: {problem}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
