// The start-up copy on real temporary directories.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>
#include <random>

#include "backends/headless/HeadlessPlatform.h"
#include "base/Exceptions.h"
#include "platform/FileCopy.h"
#include "toolkit/shell/StartupDeployment.h"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;

class StartupDeploymentTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        root = fs::temp_directory_path() / ("velmora-deploy-" + std::to_string(rd()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(root / "program");
        fs::create_directories(root / "user");
        host.ExecutableFile = (root / "program" / "Velmora").string();
        host.UserDataDirectory = (root / "user").string();
        platform::SetCurrentPlatform(&host);
    }
    void TearDown() override {
        platform::SetCurrentPlatform(nullptr);
        std::error_code ec;
        // Give back any rights a test took away, so the tree can go.
        for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            if (it->is_directory(ec) && !it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all,
                                                                              fs::perm_options::add, ec);
        fs::remove_all(root, ec);
    }

    fs::path Source() const { return root / "program" / "StartUp"; }
    fs::path User() const { return root / "user"; }

    static void Write(const fs::path& p, const std::string& text) {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Every path below dir, relative, sorted.
    static std::vector<std::string> Tree(const fs::path& dir) {
        std::vector<std::string> out;
        for (auto& e : fs::recursive_directory_iterator(dir))
            out.push_back(fs::relative(e.path(), dir).generic_string() + (e.is_directory() ? "/" : ""));
        std::sort(out.begin(), out.end());
        return out;
    }

    headless::HeadlessPlatform host;
    fs::path root;
};

TEST_F(StartupDeploymentTest, WithoutStartUpNothingIsCreated) {
    Write(User() / "settings.ini", "mine");
    DeployStartupFiles();
    EXPECT_EQ(Tree(User()), (std::vector<std::string>{"settings.ini"}));
}

TEST_F(StartupDeploymentTest, CopiesNewFilesAndDirectoriesButNeverReplaces) {
    Write(Source() / "a.txt", "shipped a");
    Write(Source() / ".hidden", "shipped hidden");
    Write(Source() / "docs" / "guide.txt", "shipped guide");
    Write(Source() / "docs" / "deep" / "x.bin", std::string("\0\1\2", 3));
    fs::create_directories(Source() / "empty");
    Write(User() / "a.txt", "user's own a");
    Write(User() / "docs" / "guide.txt", "user's guide");

    DeployStartupFiles();

    EXPECT_EQ(Tree(User()), (std::vector<std::string>{".hidden", "a.txt", "docs/", "docs/deep/", "docs/deep/x.bin",
                                                      "docs/guide.txt", "empty/"}));
    EXPECT_EQ(Read(User() / "a.txt"), "user's own a");
    EXPECT_EQ(Read(User() / "docs" / "guide.txt"), "user's guide");
    EXPECT_EQ(Read(User() / ".hidden"), "shipped hidden");
    EXPECT_EQ(Read(User() / "docs" / "deep" / "x.bin"), std::string("\0\1\2", 3));

    // A second start changes nothing.
    Write(User() / ".hidden", "edited");
    DeployStartupFiles();
    EXPECT_EQ(Read(User() / ".hidden"), "edited");
}

TEST_F(StartupDeploymentTest, DirectoryBlockedByAFileIsSkippedWithItsContents) {
    Write(Source() / "blocked" / "inner.txt", "never");
    Write(Source() / "open" / "file.txt", "copied");
    Write(Source() / "top.txt", "copied too");
    Write(User() / "blocked", "a file where the directory would go");

    DeployStartupFiles();

    EXPECT_EQ(Read(User() / "blocked"), "a file where the directory would go");
    EXPECT_EQ(Read(User() / "open" / "file.txt"), "copied");
    EXPECT_EQ(Read(User() / "top.txt"), "copied too");
}

TEST_F(StartupDeploymentTest, MissingUserFolderIsCreated) {
    fs::remove_all(User());
    Write(Source() / "a.txt", "a");
    DeployStartupFiles();
    EXPECT_EQ(Read(User() / "a.txt"), "a");
}

// The temporary file of a copy is made beside its target, as long as the
// target's name; a name of one or two letters leaves few choices, and the
// target's own name must never be one of them (the copy would take the
// target for its temporary file and remove it afterwards).
TEST(TemporaryNameBesideTest, NeverTheTargetsOwnName) {
    for (const char* target : {"x", ".a", "ab", "Карта.txt"}) {
        const fs::path path = fs::path("/folder") / fs::path(std::u8string(target, target + std::strlen(target)));
        for (unsigned attempt = 0; attempt < 2000; ++attempt) {
            const fs::path temporary = platform::TemporaryNameBeside(path, attempt % 16);
            ASSERT_NE(temporary, path) << target;
            ASSERT_EQ(temporary.parent_path(), path.parent_path());
            ASSERT_LE(temporary.filename().native().size(), path.filename().native().size());
        }
    }
}

TEST_F(StartupDeploymentTest, NamesNearTheLimitCopyAsADirectCopyWould) {
    // The longest names the file system takes: 255 bytes on the usual Linux
    // file systems, where a Cyrillic letter takes two. A direct copy into
    // another folder tells what the file system accepts; the start-up copy
    // must manage every such name.
    std::string cyrillic;
    for (int i = 0; i < 127; ++i) cyrillic += "\u0416";
    const std::vector<std::string> names = {std::string(255, 'n'), std::string(200, 'm'), cyrillic + "a",
                                            "\u041A\u0430\u0440\u0442\u0430.txt", "x"};
    fs::create_directories(root / "direct");
    for (const std::string& name : names) {
        const fs::path file = fs::path(std::u8string(name.begin(), name.end()));
        std::error_code ec;
        Write(Source() / file, "content of " + name);
        if (!fs::exists(Source() / file, ec)) continue;  // longer than this file system takes
        bool direct = fs::copy_file(Source() / file, root / "direct" / file, ec) && !ec;
        ASSERT_TRUE(direct) << name.size() << " bytes: " << ec.message();
    }
    ASSERT_NO_THROW(DeployStartupFiles());
    for (const std::string& name : names) {
        const fs::path file = fs::path(std::u8string(name.begin(), name.end()));
        if (!fs::exists(Source() / file)) continue;
        EXPECT_EQ(Read(User() / file), "content of " + name) << name.size() << " bytes";
    }
    EXPECT_EQ(Tree(User()).size(), Tree(Source()).size());  // no temporary file stays behind
}

#ifndef _WIN32
// File permissions, file-size limits, named pipes and symbolic links as
// POSIX systems have them; the Windows forms of these cases are in
// tests/windows.
TEST_F(StartupDeploymentTest, FailingCopyRaisesInOutErrorAndLeavesNoPartialFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
    Write(Source() / "ok.txt", "fine");
    Write(Source() / "secret.txt", "unreadable");
    fs::permissions(Source() / "secret.txt", fs::perms::none);
    try {
        DeployStartupFiles();
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_FALSE(e.Message().empty());
    }
    EXPECT_FALSE(fs::exists(User() / "secret.txt"));
    // Nothing but what was copied whole: no temporary file stays behind.
    for (auto& e : fs::directory_iterator(User())) EXPECT_EQ(e.path().filename(), "ok.txt") << e.path();
}

TEST_F(StartupDeploymentTest, CopyThatFailsHalfWayLeavesNoTruncatedFile) {
    // A file-size limit binds every user, the superuser too: the copy of the
    // large file writes its first bytes and then fails, as a full disk would.
    Write(Source() / "big.bin", std::string(256 * 1024, 'x'));
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = previous;
    limited.rlim_cur = 16 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool raised = false;
    try {
        DeployStartupFiles();
    } catch (const EInOutError& e) {
        raised = !e.Message().empty();
    }
    ::setrlimit(RLIMIT_FSIZE, &previous);
    ::signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(raised);
    for (auto& e : fs::directory_iterator(User())) ADD_FAILURE() << "left behind: " << e.path();

    // The next start copies the whole file.
    DeployStartupFiles();
    EXPECT_EQ(fs::file_size(User() / "big.bin"), 256u * 1024u);
}

TEST_F(StartupDeploymentTest, UncopyableEntryRaisesInOutErrorAndLeavesNothingBehind) {
    // A named pipe cannot be copied as a file, whoever runs the test.
    fs::create_directories(Source());
    ASSERT_EQ(::mkfifo((Source() / "pipe").c_str(), 0600), 0);
    EXPECT_THROW(DeployStartupFiles(), EInOutError);
    EXPECT_FALSE(fs::exists(fs::symlink_status(User() / "pipe")));
    for (auto& e : fs::directory_iterator(User())) ADD_FAILURE() << "left behind: " << e.path();
}

TEST_F(StartupDeploymentTest, CopyIntoAReadOnlyFolderRaisesInOutError) {
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
    Write(Source() / "a.txt", "a");
    fs::permissions(User(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(DeployStartupFiles(), EInOutError);
    fs::permissions(User(), fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(User() / "a.txt"));
}

#endif

TEST_F(StartupDeploymentTest, ExistingDirectoryAtAFileNameIsAnError) {
    Write(Source() / "name", "file");
    fs::create_directories(User() / "name");
    EXPECT_THROW(DeployStartupFiles(), EInOutError);
    EXPECT_TRUE(fs::is_directory(User() / "name"));
}

#ifndef _WIN32

TEST_F(StartupDeploymentTest, SymbolicLinkLoopEndsAndFileLinksAreCopied) {
    Write(Source() / "sub" / "f.txt", "f");
    Write(root / "outside.txt", "outside");
    fs::create_directory_symlink("..", Source() / "sub" / "up");
    fs::create_directory_symlink(Source(), Source() / "self");
    fs::create_symlink(root / "outside.txt", Source() / "link.txt");

    DeployStartupFiles();

    EXPECT_EQ(Tree(User()), (std::vector<std::string>{"link.txt", "sub/", "sub/f.txt"}));
    EXPECT_EQ(Read(User() / "link.txt"), "outside");
    EXPECT_FALSE(fs::is_symlink(User() / "link.txt"));
}
#endif

}  // namespace
}  // namespace velmora::testing
