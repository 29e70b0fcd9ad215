#include "app/StatusItemSource.h"

#include <glib.h>
#include <poll.h>

namespace kestrun {

namespace {

struct ItemSource {
    GSource source;  // first: GLib allocates and frees the whole struct
    platform::StatusItem* item;
    gpointer tag;  // the polled descriptor's tag, null while there is none
    int fd;
};

// Follows the item's descriptor (a new one after each Start) and the events it waits for.
void Follow(ItemSource* self)
{
    const int fd = self->item->PollFd();
    if (fd != self->fd) {
        if (self->tag != nullptr) g_source_remove_unix_fd(&self->source, self->tag);
        self->tag = nullptr;
        self->fd = fd;
        if (fd >= 0) self->tag = g_source_add_unix_fd(&self->source, fd, G_IO_IN);
    }
    if (self->tag != nullptr) {
        const short events = self->item->PollEvents();
        int condition = G_IO_ERR | G_IO_HUP;
        if ((events & POLLIN) != 0) condition |= G_IO_IN;
        if ((events & POLLOUT) != 0) condition |= G_IO_OUT;
        g_source_modify_unix_fd(&self->source, self->tag, static_cast<GIOCondition>(condition));
    }
}

gboolean Prepare(GSource* source, gint* timeout)
{
    auto* self = reinterpret_cast<ItemSource*>(source);
    Follow(self);
    *timeout = self->tag != nullptr ? self->item->PollTimeoutMs() : -1;
    return *timeout == 0;
}

gboolean Check(GSource* source)
{
    auto* self = reinterpret_cast<ItemSource*>(source);
    if (self->tag == nullptr) return FALSE;
    return g_source_query_unix_fd(source, self->tag) != 0 || self->item->PollTimeoutMs() == 0;
}

gboolean Dispatch(GSource* source, GSourceFunc, gpointer)
{
    auto* self = reinterpret_cast<ItemSource*>(source);
    self->item->Process();
    Follow(self);
    return G_SOURCE_CONTINUE;
}

GSourceFuncs kFuncs = {Prepare, Check, Dispatch, nullptr, nullptr, nullptr};

}  // namespace

CStatusItemSource::CStatusItemSource(platform::StatusItem& item)
{
    m_source = g_source_new(&kFuncs, sizeof(ItemSource));
    auto* self = reinterpret_cast<ItemSource*>(m_source);
    self->item = &item;
    self->tag = nullptr;
    self->fd = -1;
    g_source_set_name(m_source, "kestrun status item");
    g_source_attach(m_source, nullptr);  // the default context: the one wxGTK runs
}

CStatusItemSource::~CStatusItemSource()
{
    g_source_destroy(m_source);
    g_source_unref(m_source);
}

}  // namespace kestrun
