#!/usr/bin/env python3
"""Fails when an include points up the layers, across backends, or closes a
cycle between folders.

Usage: check_layers.py SOURCE_DIR

Layers, lowest first; each may include itself and what lies below it:
  base -> platform -> core -> description -> controls -> forms -> shell -> program
Backends implement the platform interface: they include base, platform, their
own folder and the core the native backends share (which includes no system
header). Above the backends no file includes an OS or GUI toolkit header.
Tools, the fuzz target and the shared test support stand beside the program
and reach down to the description format; the tests may include anything but
the fuzz target.

A backend's headers are included only by that backend, by the program's entry
for that platform (src/program/main_<backend>.cpp) and by that backend's own
tests. Two backends are everyone's: the headless one, which the tests and the
fuzz target run on, and the shared native core, which builds everywhere and
is tested on its own. A backend file without a system header may be included
by any test, since the rules it holds are tested on every machine.
"""

import os
import re
import sys

ORDER = ["base", "platform", "core", "description", "controls", "forms", "shell", "program"]
BELOW = {layer: set(ORDER[: i + 1]) for i, layer in enumerate(ORDER)}

# Folder prefix (relative to the source dir) -> layer; the longest prefix wins.
FOLDERS = {
    "src/base/": "base",
    "src/platform/": "platform",
    "src/backends/": "backends",
    "src/toolkit/core/": "core",
    "src/toolkit/description/": "description",
    "src/toolkit/controls/": "controls",
    "src/toolkit/forms/": "forms",
    "src/toolkit/shell/": "shell",
    "src/program/": "program",
    "tools/": "tools",
    "testsupport/": "testsupport",
    "fuzz/": "fuzz",
    "tests/": "tests",
}

ALLOWED = dict(BELOW)
ALLOWED["backends"] = {"base", "platform", "backends"}
ALLOWED["tools"] = {"base", "core", "description", "tools"}
ALLOWED["testsupport"] = {"base", "core", "description", "testsupport"}
# The fuzz target reads onto the real controls, on the headless backend.
ALLOWED["fuzz"] = set(ORDER) | {"backends", "testsupport", "fuzz"}
ALLOWED["tests"] = set(ORDER) | {"backends", "testsupport", "tests"}

# The core the native backends share: theirs to include, and tested on its own.
SHARED_BACKEND_CORE = "native"
# Backends that any test (and the fuzz target) may include.
BACKENDS_FOR_ALL_TESTS = ("headless", SHARED_BACKEND_CORE)

# Backend files without a system header: the rules they hold build and are
# tested on every machine, so any test may include them.
PORTABLE_BACKEND_FILES = {"src/backends/win32/KeyTranslation.h", "src/backends/gtk/LoadSupervisor.h"}

# The folders of each backend's own tests, which run where the backend does.
BACKEND_TEST_FOLDERS = {
    "gtk": ("tests/desktop/",),
    "win32": ("tests/windows/backend/", "tests/windows/a11y/", "tests/windows/binding/"),
}

# The program's entry for one platform, the one program file that may name
# that platform's backend.
PROGRAM_ENTRY = re.compile(r"^src/program/main_(\w+)\.cpp$")

# Where quoted includes are looked up after the including file's own folder.
INCLUDE_ROOTS = ["src", "testsupport", "tests"]

# System headers only a backend (or a test of one) may see.
SYSTEM_PREFIXES = ("gtk/", "gdk/", "glib", "gio/", "gobject/", "webkit2/", "cairo", "pango/", "libsoup/",
                   "X11/", "windows.h", "windowsx.h", "ole2.h", "olectl.h", "objbase.h", "ocidl.h", "oleauto.h",
                   "oleacc.h", "urlmon.h", "wrl/", "servprov.h", "shlobj.h", "exdisp.h", "mshtml.h", "gdiplus.h",
                   "commctrl.h", "unistd.h", "sched.h", "dlfcn.h", "sys/", "netinet/", "arpa/")

SCANNED = ("src", "tools", "fuzz", "tests", "testsupport")
EXTENSIONS = (".h", ".hpp", ".cpp", ".cc", ".c")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def layer_of(path):
    best = None
    for prefix, layer in FOLDERS.items():
        if path.startswith(prefix) and (best is None or len(prefix) > len(best[0])):
            best = (prefix, layer)
    return best[1] if best else None


def backend_of(path):
    parts = path.split("/")
    return parts[2] if len(parts) > 3 and parts[:2] == ["src", "backends"] else None


def may_include_backend(path, layer, backend):
    """Whether a file outside the backends may include a header of that backend."""
    entry = PROGRAM_ENTRY.match(path)
    if entry:
        return entry.group(1) == backend
    if layer not in ("tests", "fuzz"):
        return False
    if backend in BACKENDS_FOR_ALL_TESTS:
        return True
    return layer == "tests" and path.startswith(BACKEND_TEST_FOLDERS.get(backend, ()))


def resolve(root, including, name):
    candidates = [os.path.join(os.path.dirname(including), name)] + [os.path.join(r, name) for r in INCLUDE_ROOTS]
    for candidate in candidates:
        candidate = os.path.normpath(candidate)
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate.replace(os.sep, "/")
    return None


def source_files(root):
    for top in SCANNED:
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if name.endswith(EXTENSIONS):
                    yield os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")


def find_cycle(edges):
    """A folder cycle as a list of folders, or None."""
    state = {}
    stack = []

    def visit(node):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == 1:
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = 2
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
    errors = []
    folder_edges = {}
    for path in source_files(root):
        layer = layer_of(path)
        if layer is None:
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            lines = f.readlines()
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            where = f"{path}:{number}"
            kind, name = match.groups()
            if kind == "<":
                if layer not in ("backends", "tests") and name.startswith(SYSTEM_PREFIXES):
                    errors.append(f"{where}: the {layer} layer includes the system header <{name}>")
                elif backend_of(path) == SHARED_BACKEND_CORE and name.startswith(SYSTEM_PREFIXES):
                    errors.append(f"{where}: the shared backend core includes the system header <{name}>")
                continue
            target = resolve(root, path, name)
            if target is None:
                continue
            target_layer = layer_of(target)
            if target_layer is None:
                errors.append(f'{where}: "{name}" lies outside every layer')
                continue
            if target_layer == "backends" and layer != "backends":
                if not may_include_backend(path, layer, backend_of(target)) \
                        and not (layer == "tests" and target in PORTABLE_BACKEND_FILES):
                    errors.append(f'{where}: only the {backend_of(target)} backend, its program entry and its '
                                  f'own tests include "{name}"')
            elif target_layer not in ALLOWED[layer]:
                errors.append(f'{where}: the {layer} layer includes "{name}" of the {target_layer} layer')
            elif layer == "backends" and target_layer == "backends" \
                    and backend_of(target) not in (backend_of(path), SHARED_BACKEND_CORE):
                errors.append(f'{where}: one backend includes another: "{name}"')
            source_folder, target_folder = os.path.dirname(path), os.path.dirname(target)
            if source_folder != target_folder:
                folder_edges.setdefault(source_folder, set()).add(target_folder)
    cycle = find_cycle(folder_edges)
    if cycle:
        errors.append("folders include each other: " + " -> ".join(cycle))
    for error in errors:
        print(error, file=sys.stderr)
    if errors:
        print(f"check_layers: {len(errors)} include(s) break the layering", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
