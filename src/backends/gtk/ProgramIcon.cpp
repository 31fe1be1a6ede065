#include "ProgramIcon.h"

#include "DesktopIdentity.h"

namespace velmora::gtk {

namespace {
constexpr int kSizes[] = {16, 24, 32, 48, 256};

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}
}  // namespace

std::vector<std::string> ProgramIconRoots(const std::string& executablePath) {
    const std::string dir = DirectoryOf(executablePath);
    // The prefix by name, not through "..": that needs nothing on disk to
    // exist and survives a bin directory that is a symbolic link.
    return {dir + "/icons", DirectoryOf(dir) + "/share/icons"};
}

IconList LoadProgramIcons(const std::string& executablePath) {
    GList* list = nullptr;
    for (const std::string& root : ProgramIconRoots(executablePath)) {
        for (int size : kSizes) {
            const std::string file = root + "/hicolor/" + std::to_string(size) + "x" + std::to_string(size) +
                                     "/apps/" + kApplicationId + ".png";
            if (GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(file.c_str(), nullptr))
                list = g_list_append(list, pixbuf);
        }
        if (list) return IconList(list);
    }
    GtkIconTheme* theme = gtk_icon_theme_get_default();
    if (!theme) return {};
    for (int size : kSizes) {
        if (GdkPixbuf* pixbuf = gtk_icon_theme_load_icon(theme, kApplicationId, size,
                                                         GTK_ICON_LOOKUP_FORCE_SIZE, nullptr))
            list = g_list_append(list, pixbuf);
    }
    return IconList(list);
}

}  // namespace velmora::gtk
