#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>

#include "backends/gtk/DesktopIdentity.h"
#include "backends/gtk/ProgramIcon.h"

namespace velmora::gtk {
namespace {

// A scratch tree standing in for a build directory or an installed prefix.
class IconTree : public ::testing::Test {
protected:
    void SetUp() override {
        gchar* dir = g_dir_make_tmp("velmora-icons-XXXXXX", nullptr);
        ASSERT_NE(dir, nullptr);
        root_ = dir;
        g_free(dir);
    }
    void TearDown() override {
        gchar* argv[] = {const_cast<gchar*>("rm"), const_cast<gchar*>("-rf"), const_cast<gchar*>(root_.c_str()), nullptr};
        g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    void Put(const std::string& iconsDir, int size) {
        const std::string dir = iconsDir + "/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
        g_mkdir_with_parents(dir.c_str(), 0755);
        GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, size, size);
        gdk_pixbuf_fill(pixbuf, 0x2060a0ff);
        ASSERT_TRUE(gdk_pixbuf_save(pixbuf, (dir + "/" + kApplicationId + ".png").c_str(), "png", nullptr, nullptr));
        g_object_unref(pixbuf);
    }
    static std::vector<int> Sizes(GList* list) {
        std::vector<int> sizes;
        for (GList* l = list; l; l = l->next) sizes.push_back(gdk_pixbuf_get_width(GDK_PIXBUF(l->data)));
        return sizes;
    }
    std::string root_;
};

TEST_F(IconTree, BuildTreeIconsBesideTheExecutableComeFirst) {
    Put(root_ + "/build/icons", 16);
    Put(root_ + "/build/icons", 48);
    Put(root_ + "/build/../share/icons", 256);  // would be the installed set
    IconList icons = LoadProgramIcons(root_ + "/build/Velmora");
    EXPECT_EQ(Sizes(icons.get()), (std::vector<int>{16, 48}));
}

TEST_F(IconTree, InstalledIconsAreFoundFromTheBinDirectory) {
    Put(root_ + "/usr/share/icons", 16);
    Put(root_ + "/usr/share/icons", 24);
    Put(root_ + "/usr/share/icons", 256);
    IconList icons = LoadProgramIcons(root_ + "/usr/bin/Velmora");
    EXPECT_EQ(Sizes(icons.get()), (std::vector<int>{16, 24, 256}));
}

}  // namespace
}  // namespace velmora::gtk
