#include "platform/gtk/DesktopEntryIcons.h"

#include "platform/LastError.h"

#include <gio/gdesktopappinfo.h>
#include <gtk/gtk.h>

#include <cerrno>
#include <filesystem>
#include <unordered_set>
#include <climits>
#include <cstdlib>

namespace kestrun::platform {

namespace {

// The program a command names, as an absolute path with links resolved; empty when it cannot be found.
std::string RealProgram(const char* command)
{
    if (command == nullptr || command[0] == '\0') return {};
    gchar* found = g_find_program_in_path(command);
    if (found == nullptr) return {};
    char real[PATH_MAX];
    std::string result = realpath(found, real) != nullptr ? real : found;
    g_free(found);
    return result;
}

// Straight ARGB from a pixbuf's RGB or RGBA rows.
Image FromPixbuf(GdkPixbuf* pixbuf)
{
    Image image;
    image.width = gdk_pixbuf_get_width(pixbuf);
    image.height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    image.pixels.reserve(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        const guchar* p = pixels + static_cast<ptrdiff_t>(y) * stride;
        for (int x = 0; x < image.width; ++x, p += channels) {
            const uint32_t a = alpha ? p[3] : 0xFF;
            image.pixels.push_back(a << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
        }
    }
    return image;
}

}  // namespace

DesktopEntryIcons::DesktopEntryIcons(std::vector<std::string> dataDirs) : dataDirs_(std::move(dataDirs))
{
    if (!dataDirs_.empty()) return;
    dataDirs_.emplace_back(g_get_user_data_dir());
    for (const gchar* const* dir = g_get_system_data_dirs(); *dir != nullptr; ++dir) dataDirs_.emplace_back(*dir);
}

DesktopEntryIcons::~DesktopEntryIcons()
{
    for (auto& [program, icon] : iconByProgram_) g_object_unref(icon);
}

void DesktopEntryIcons::Index()
{
    indexed_ = true;
    // An entry's id is its path below applications/; the first folder's entry of an id hides the others.
    std::unordered_set<std::string> ids;
    for (const std::string& dir : dataDirs_) {
        const std::filesystem::path applications = std::filesystem::path(dir) / "applications";
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(applications, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            if (it->path().extension() != ".desktop" || !it->is_regular_file(error)) continue;
            if (!ids.insert(std::filesystem::relative(it->path(), applications, error).string()).second) continue;
            GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(it->path().c_str());
            if (info == nullptr) continue;  // not an application, or malformed
            GIcon* icon = g_app_info_get_icon(G_APP_INFO(info));
            if (icon != nullptr && !g_desktop_app_info_get_is_hidden(info)) {
                gchar* tryExec = g_desktop_app_info_get_string(info, "TryExec");
                for (const std::string& program : {RealProgram(g_app_info_get_executable(G_APP_INFO(info))), RealProgram(tryExec)})
                    if (!program.empty() && !iconByProgram_.contains(program))
                        iconByProgram_.emplace(program, G_ICON(g_object_ref(icon)));
                g_free(tryExec);
            }
            g_object_unref(info);
        }
    }
}

std::optional<Image> DesktopEntryIcons::SmallIconFor(const std::string& path, int side)
{
    if (side <= 0 || gdk_screen_get_default() == nullptr) {  // no icon theme without a display
        Fail(ENODEV);
        return std::nullopt;
    }
    if (!indexed_) Index();
    char real[PATH_MAX];
    const auto it = iconByProgram_.find(realpath(path.c_str(), real) != nullptr ? real : path);
    if (it == iconByProgram_.end()) {
        Fail(ENOENT);
        return std::nullopt;
    }
    GtkIconInfo* found = gtk_icon_theme_lookup_by_gicon(gtk_icon_theme_get_default(), it->second, side,
                                                        GTK_ICON_LOOKUP_FORCE_SIZE);
    if (found == nullptr) {
        Fail(ENOENT);
        return std::nullopt;
    }
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gtk_icon_info_load_icon(found, &error);
    g_object_unref(found);
    if (pixbuf == nullptr) {
        if (error != nullptr) g_error_free(error);
        Fail(EIO);
        return std::nullopt;
    }
    Image image = FromPixbuf(pixbuf);
    g_object_unref(pixbuf);
    return image;
}

}  // namespace kestrun::platform
