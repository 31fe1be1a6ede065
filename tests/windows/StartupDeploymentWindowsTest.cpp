// The start-up copy on Windows paths: attributes and file times are kept,
// names with Cyrillic letters and paths near the path limit copy, a locked
// file fails with the system's message, and nothing is ever replaced.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "backends/headless/HeadlessPlatform.h"
#include "base/Exceptions.h"
#include "toolkit/shell/StartupDeployment.h"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& p) {
    auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

FILETIME TimeOf(unsigned long long ticks) { return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}; }
unsigned long long Ticks(const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

struct Times {
    unsigned long long created = 0, written = 0;
};
Times TimesOf(const fs::path& p) {
    HANDLE h = CreateFileW(p.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << p;
    FILETIME c{}, a{}, w{};
    GetFileTime(h, &c, &a, &w);
    CloseHandle(h);
    return {Ticks(c), Ticks(w)};
}
void SetTimes(const fs::path& p, unsigned long long created, unsigned long long written) {
    HANDLE h = CreateFileW(p.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << p;
    FILETIME c = TimeOf(created), w = TimeOf(written);
    ASSERT_TRUE(SetFileTime(h, &c, nullptr, &w));
    CloseHandle(h);
}

class WindowsDeploymentTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        // A Cyrillic folder name on the way, as a user's profile may have.
        root = fs::temp_directory_path() / (L"velmora-\u0440\u0430\u0437\u0432-" + std::to_wstring(rd() % 100000));
        fs::create_directories(root / L"program");
        fs::create_directories(root / L"user");
        host.ExecutableFile = Utf8(root / L"program" / L"Velmora.exe");
        host.UserDataDirectory = Utf8(root / L"user");
        platform::SetCurrentPlatform(&host);
    }
    void TearDown() override {
        platform::SetCurrentPlatform(nullptr);
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(root, ec);
    }
    fs::path Source() const { return root / L"program" / L"StartUp"; }
    fs::path User() const { return root / L"user"; }

    static void Write(const fs::path& p, const std::string& text) {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::size_t Count(const fs::path& dir) const {
        std::size_t n = 0;
        for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) ++n;
        return n;
    }

    headless::HeadlessPlatform host;
    fs::path root;
};

TEST_F(WindowsDeploymentTest, AttributesAndTimesAreKept) {
    const unsigned long long y2001 = 126227808000000000ull, y2005 = 127490976000000000ull;
    struct Case {
        const wchar_t* name;
        DWORD attributes;
    };
    const Case cases[] = {{L"hidden.ini", FILE_ATTRIBUTE_HIDDEN},
                          {L"readonly.txt", FILE_ATTRIBUTE_READONLY},
                          {L"both.dat", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY},
                          {L"system.bin", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN},
                          {L"plain.txt", FILE_ATTRIBUTE_ARCHIVE}};
    for (const Case& c : cases) {
        Write(Source() / c.name, "data");
        SetTimes(Source() / c.name, y2001, y2005);
        ASSERT_TRUE(SetFileAttributesW((Source() / c.name).c_str(), c.attributes));
    }
    DeployStartupFiles();
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM;
    for (const Case& c : cases) {
        const fs::path copy = User() / c.name;
        const DWORD attributes = GetFileAttributesW(copy.c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << copy;
        EXPECT_EQ(attributes & kept, c.attributes & kept) << copy;
        EXPECT_EQ(Read(copy), "data");
        Times t = TimesOf(copy);
        EXPECT_EQ(t.written, y2005) << copy;
        // Creation times are kept where the file system keeps them at all
        // (Wine on Linux file systems cannot set one).
        if (TimesOf(Source() / c.name).created == y2001) EXPECT_EQ(t.created, y2001) << copy;
    }
    EXPECT_EQ(Count(User()), std::size(cases));  // no temporary file stays behind
}

TEST_F(WindowsDeploymentTest, ReadOnlyOrHiddenFilesAtTheDestinationAreNeverReplaced) {
    Write(Source() / L"a.txt", "shipped");
    Write(Source() / L"b.txt", "shipped");
    Write(User() / L"a.txt", "user's read-only");
    Write(User() / L"b.txt", "user's hidden");
    SetFileAttributesW((User() / L"a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((User() / L"b.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    DeployStartupFiles();
    EXPECT_EQ(Read(User() / L"a.txt"), "user's read-only");
    EXPECT_EQ(Read(User() / L"b.txt"), "user's hidden");
    EXPECT_EQ(Count(User()), 2u);
}

TEST_F(WindowsDeploymentTest, CyrillicNamesAndPathsNearTheLimitCopy) {
    const std::wstring chart = L"\u041A\u0430\u0440\u0442\u0430";  // "Карта"
    Write(Source() / (chart + L"s") / (chart + L".txt"), "chart");
    Write(Source() / (L"\u0416\u0443\u0440\u043D\u0430\u043B.log"), "log");
    // A file whose full path is just below the classic path limit of 259
    // characters, and its longest name in the folder.
    const std::size_t base = (User() / L"deep").native().size() + 1;
    ASSERT_LT(base, 200u) << "the temporary folder's path is too long for this test";
    // Mostly ASCII: under Wine the name is a Linux file name, of at most 255
    // bytes, where a Cyrillic letter takes two.
    const std::wstring longName = L"\u0449\u0449" + std::wstring(257 - base, L'n');
    Write(Source() / L"deep" / longName, "long");
    std::error_code ec;
    ASSERT_TRUE(fs::exists(Source() / L"deep" / longName, ec));
    DeployStartupFiles();
    EXPECT_EQ(Read(User() / (chart + L"s") / (chart + L".txt")), "chart");
    EXPECT_EQ(Read(User() / L"\u0416\u0443\u0440\u043D\u0430\u043B.log"), "log");
    EXPECT_EQ(Read(User() / L"deep" / longName), "long");
    EXPECT_EQ(Count(User()), 5u);
}

TEST_F(WindowsDeploymentTest, LockedFileRaisesTheSystemsMessageAndLeavesNothingBehind) {
    Write(Source() / L"locked.txt", "in use");
    HANDLE lock = CreateFileW((Source() / L"locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    std::string message;
    try {
        DeployStartupFiles();
    } catch (const EInOutError& e) {
        message = e.Message();
    }
    CloseHandle(lock);
    EXPECT_FALSE(message.empty()) << "no error for a file another process holds";
    EXPECT_EQ(Count(User()), 0u);
    DeployStartupFiles();  // once released, it copies
    EXPECT_EQ(Read(User() / L"locked.txt"), "in use");
}

}  // namespace
}  // namespace velmora::testing
