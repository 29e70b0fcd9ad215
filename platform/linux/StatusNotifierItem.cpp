// The status item over sd-bus: the object /StatusNotifierItem with the
// org.kde.StatusNotifierItem interface under the name
// org.kde.StatusNotifierItem-PID-1, registered with org.kde.StatusNotifierWatcher
// whenever a watcher is on the bus (again after a panel restart).
#include "platform/StatusItem.h"

#include "platform/LastError.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <utility>

#ifdef KESTRUN_HAVE_SYSTEMD
#include <systemd/sd-bus.h>
#endif

namespace kestrun::platform {

#ifdef KESTRUN_HAVE_SYSTEMD
namespace {

constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kWatcherInterface = "org.kde.StatusNotifierWatcher";
// Hosts that find no menu object here use Activate and ContextMenu instead.
constexpr const char* kNoMenu = "/NO_DBUSMENU";
constexpr uint64_t kCallTimeoutUs = 5u * 1000u * 1000u;

struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using SlotPtr = std::unique_ptr<sd_bus_slot, SlotUnref>;

// Closing without a flush: leaving the bus must never wait on it.
struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
using BusPtr = std::unique_ptr<sd_bus, BusClose>;

// One icon size as the protocol carries it: ARGB32 in network byte order.
struct Pixmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> argb;
};

Pixmap ToPixmap(const Image& image)
{
    Pixmap pixmap{image.width, image.height, {}};
    pixmap.argb.reserve(image.pixels.size() * 4);
    for (const uint32_t pixel : image.pixels) {
        pixmap.argb.push_back(static_cast<uint8_t>(pixel >> 24));
        pixmap.argb.push_back(static_cast<uint8_t>(pixel >> 16));
        pixmap.argb.push_back(static_cast<uint8_t>(pixel >> 8));
        pixmap.argb.push_back(static_cast<uint8_t>(pixel));
    }
    return pixmap;
}

uint64_t MonotonicMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

class StatusNotifierItem final : public StatusItem {
public:
    StatusNotifierItem(StatusItemInfo info, StatusItemEvents events)
        : m_info(std::move(info)), m_events(std::move(events))
    {
    }
    ~StatusNotifierItem() override
    {
        m_events = {};  // the owner is going away: it hears of nothing more
        m_processing = false;
        Close();
    }

    bool Start(const std::string& busAddress) override;
    void Stop() override;
    void SetIcon(std::vector<Image> sizes) override;
    void SetToolTip(const std::string& text) override;
    [[nodiscard]] StatusItemState state() const override { return m_state; }
    [[nodiscard]] bool hostPresent() const override { return m_hostPresent; }
    [[nodiscard]] int PollFd() const override { return m_bus ? sd_bus_get_fd(m_bus.get()) : -1; }
    [[nodiscard]] short PollEvents() const override;
    [[nodiscard]] int PollTimeoutMs() const override;
    void Process() override;

private:
    static const sd_bus_vtable kVtable[];

    static int GetProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                           void* self, sd_bus_error*);
    static int OnActivate(sd_bus_message* call, void* self, sd_bus_error*);
    static int OnIgnoredClick(sd_bus_message* call, void*, sd_bus_error*);
    static int OnNameReply(sd_bus_message* reply, void* self, sd_bus_error*);
    static int OnRegisterReply(sd_bus_message* reply, void* self, sd_bus_error*);
    static int OnHostReply(sd_bus_message* reply, void* self, sd_bus_error*);
    static int OnWatcherOwnerChanged(sd_bus_message* signal, void* self, sd_bus_error*);
    static int OnHostRegistered(sd_bus_message* signal, void* self, sd_bus_error*);
    static int OnHostUnregistered(sd_bus_message* signal, void* self, sd_bus_error*);

    int AppendProperty(const std::string& property, sd_bus_message* reply) const;
    bool Connect(const std::string& busAddress);
    bool Watch(const char* member, sd_bus_message_handler_t handler, SlotPtr& slot);
    void Register();
    void AskForHost();
    void SetState(StatusItemState state, bool hostPresent);
    void Emit(const char* member);
    void Close();

    StatusItemInfo m_info;
    StatusItemEvents m_events;
    std::vector<Pixmap> m_icon;
    std::string m_toolTip;
    BusPtr m_bus;
    std::string m_name;  // the name the watcher is given
    SlotPtr m_object, m_ownerMatch, m_hostUpMatch, m_hostDownMatch, m_nameCall, m_registerCall, m_hostCall;
    StatusItemState m_state = StatusItemState::NoWatcher;
    bool m_hostPresent = false;
    bool m_processing = false;
    bool m_closeAfterProcessing = false;
};

const sd_bus_vtable StatusNotifierItem::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Category", "s", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Id", "s", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Title", "s", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Status", "s", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("WindowId", "i", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconName", "s", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconThemePath", "s", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    // Changes of the icon and the tooltip are told by NewIcon and NewToolTip.
    SD_BUS_PROPERTY("IconPixmap", "a(iiay)", GetProperty, 0, 0),
    SD_BUS_PROPERTY("OverlayIconName", "s", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("OverlayIconPixmap", "a(iiay)", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AttentionIconName", "s", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AttentionIconPixmap", "a(iiay)", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AttentionMovieName", "s", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("ToolTip", "(sa(iiay)ss)", GetProperty, 0, 0),
    SD_BUS_PROPERTY("ItemIsMenu", "b", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Menu", "o", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("Activate", "ii", "", OnActivate, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SecondaryActivate", "ii", "", OnIgnoredClick, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("ContextMenu", "ii", "", OnIgnoredClick, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Scroll", "is", "", OnIgnoredClick, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("NewTitle", "", 0),
    SD_BUS_SIGNAL("NewIcon", "", 0),
    SD_BUS_SIGNAL("NewAttentionIcon", "", 0),
    SD_BUS_SIGNAL("NewOverlayIcon", "", 0),
    SD_BUS_SIGNAL("NewToolTip", "", 0),
    SD_BUS_SIGNAL("NewStatus", "s", 0),
    SD_BUS_VTABLE_END,
};

int AppendPixmaps(sd_bus_message* reply, const std::vector<Pixmap>& pixmaps)
{
    int r = sd_bus_message_open_container(reply, 'a', "(iiay)");
    for (const Pixmap& pixmap : pixmaps) {
        if (r >= 0) r = sd_bus_message_open_container(reply, 'r', "iiay");
        if (r >= 0) r = sd_bus_message_append(reply, "ii", pixmap.width, pixmap.height);
        if (r >= 0) r = sd_bus_message_append_array(reply, 'y', pixmap.argb.data(), pixmap.argb.size());
        if (r >= 0) r = sd_bus_message_close_container(reply);
    }
    if (r >= 0) r = sd_bus_message_close_container(reply);
    return r;
}

int StatusNotifierItem::GetProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                                    void* self, sd_bus_error*)
{
    return static_cast<const StatusNotifierItem*>(self)->AppendProperty(property, reply);
}

int StatusNotifierItem::AppendProperty(const std::string& property, sd_bus_message* reply) const
{
    if (property == "Category") return sd_bus_message_append(reply, "s", m_info.category.c_str());
    if (property == "Id") return sd_bus_message_append(reply, "s", m_info.id.c_str());
    if (property == "Title") return sd_bus_message_append(reply, "s", m_info.title.c_str());
    if (property == "Status") return sd_bus_message_append(reply, "s", "Active");
    if (property == "WindowId") return sd_bus_message_append(reply, "i", 0);
    if (property == "IconPixmap") return AppendPixmaps(reply, m_icon);
    if (property == "OverlayIconPixmap" || property == "AttentionIconPixmap") return AppendPixmaps(reply, {});
    if (property == "ItemIsMenu") return sd_bus_message_append(reply, "b", 0);
    if (property == "Menu") return sd_bus_message_append(reply, "o", kNoMenu);
    if (property == "ToolTip") {
        // (icon name, icon pixmaps, title, description): the text alone, as the title.
        int r = sd_bus_message_open_container(reply, 'r', "sa(iiay)ss");
        if (r >= 0) r = sd_bus_message_append(reply, "s", "");
        if (r >= 0) r = AppendPixmaps(reply, {});
        if (r >= 0) r = sd_bus_message_append(reply, "ss", m_toolTip.c_str(), "");
        if (r >= 0) r = sd_bus_message_close_container(reply);
        return r;
    }
    return sd_bus_message_append(reply, "s", "");  // the names of icons that are not used
}

int StatusNotifierItem::OnActivate(sd_bus_message* call, void* self, sd_bus_error*)
{
    const int r = sd_bus_reply_method_return(call, "");
    auto* item = static_cast<StatusNotifierItem*>(self);
    if (item->m_events.activate) item->m_events.activate();
    return r;
}

// Middle clicks, scrolling and the context menu do nothing, as other clicks on the icon.
int StatusNotifierItem::OnIgnoredClick(sd_bus_message* call, void*, sd_bus_error*)
{
    return sd_bus_reply_method_return(call, "");
}

bool StatusNotifierItem::Connect(const std::string& busAddress)
{
    sd_bus* bus = nullptr;
    int r = 0;
    if (busAddress.empty()) {
        r = sd_bus_open_user(&bus);
    } else {
        r = sd_bus_new(&bus);
        if (r >= 0) r = sd_bus_set_address(bus, busAddress.c_str());
        if (r >= 0) r = sd_bus_set_bus_client(bus, 1);
        if (r >= 0) r = sd_bus_start(bus);
    }
    if (r < 0) {
        sd_bus_close_unref(bus);
        return Fail(static_cast<uint32_t>(-r));
    }
    m_bus.reset(bus);
    // A bus that does not answer must not keep the icon away for long: the item
    // then counts as having no watcher.
    sd_bus_set_method_call_timeout(m_bus.get(), kCallTimeoutUs);
    return true;
}

bool StatusNotifierItem::Watch(const char* member, sd_bus_message_handler_t handler, SlotPtr& slot)
{
    std::string rule = std::string("type='signal',sender='") + kWatcherName + "',interface='" + kWatcherInterface +
                       "',member='" + member + "'";
    sd_bus_slot* added = nullptr;
    const int r = sd_bus_add_match_async(m_bus.get(), &added, rule.c_str(), handler, nullptr, this);
    slot.reset(added);
    return r >= 0 || Fail(static_cast<uint32_t>(-r));
}

bool StatusNotifierItem::Start(const std::string& busAddress)
{
    Close();
    if (!Connect(busAddress)) return false;
    m_state = StatusItemState::Connecting;

    // The object first, then the watches, then the name: a watcher that asks
    // for the item at once finds it, and one that comes later is seen coming.
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_object_vtable(m_bus.get(), &slot, kItemPath, kItemInterface, kVtable, this);
    m_object.reset(slot);
    const std::string ownerRule = std::string("type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop."
                                              "DBus',member='NameOwnerChanged',arg0='") + kWatcherName + "'";
    if (r >= 0) {
        slot = nullptr;
        r = sd_bus_add_match_async(m_bus.get(), &slot, ownerRule.c_str(), OnWatcherOwnerChanged, nullptr, this);
        m_ownerMatch.reset(slot);
    }
    if (r < 0) {
        Fail(static_cast<uint32_t>(-r));
        Close();
        return false;
    }
    if (!Watch("StatusNotifierHostRegistered", OnHostRegistered, m_hostUpMatch) ||
        !Watch("StatusNotifierHostUnregistered", OnHostUnregistered, m_hostDownMatch)) {
        Close();
        return false;
    }
    m_name = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1";
    slot = nullptr;
    r = sd_bus_request_name_async(m_bus.get(), &slot, m_name.c_str(), 0, OnNameReply, this);
    m_nameCall.reset(slot);
    if (r < 0) {
        Fail(static_cast<uint32_t>(-r));
        Close();
        return false;
    }
    return true;
}

int StatusNotifierItem::OnNameReply(sd_bus_message* reply, void* self, sd_bus_error*)
{
    auto* item = static_cast<StatusNotifierItem*>(self);
    item->m_nameCall.reset();
    // Without the well-known name the watcher is given the connection's own name.
    const char* unique = nullptr;
    if (sd_bus_message_is_method_error(reply, nullptr) && sd_bus_get_unique_name(item->m_bus.get(), &unique) >= 0)
        item->m_name = unique;
    item->Register();
    return 0;
}

void StatusNotifierItem::Register()
{
    m_hostCall.reset();
    sd_bus_message* call = nullptr;
    int r = sd_bus_message_new_method_call(m_bus.get(), &call, kWatcherName, kWatcherPath, kWatcherInterface,
                                           "RegisterStatusNotifierItem");
    if (r >= 0) r = sd_bus_message_append(call, "s", m_name.c_str());
    // A watcher is a panel's part: never start one for us.
    if (r >= 0) r = sd_bus_message_set_auto_start(call, 0);
    sd_bus_slot* slot = nullptr;
    if (r >= 0) r = sd_bus_call_async(m_bus.get(), &slot, call, OnRegisterReply, this, 0);
    sd_bus_message_unref(call);
    m_registerCall.reset(slot);  // a registration still under way is forgotten
    if (r < 0) {
        Fail(static_cast<uint32_t>(-r));
        SetState(StatusItemState::NoWatcher, false);
    }
}

int StatusNotifierItem::OnRegisterReply(sd_bus_message* reply, void* self, sd_bus_error*)
{
    auto* item = static_cast<StatusNotifierItem*>(self);
    item->m_registerCall.reset();
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
        Fail(static_cast<uint32_t>(sd_bus_error_get_errno(error)));
        item->SetState(StatusItemState::NoWatcher, false);
        return 0;
    }
    item->AskForHost();
    return 0;
}

void StatusNotifierItem::AskForHost()
{
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_call_method_async(m_bus.get(), &slot, kWatcherName, kWatcherPath,
                                           "org.freedesktop.DBus.Properties", "Get", OnHostReply, this, "ss",
                                           kWatcherInterface, "IsStatusNotifierHostRegistered");
    m_hostCall.reset(slot);
    if (r < 0) SetState(StatusItemState::Registered, true);
}

int StatusNotifierItem::OnHostReply(sd_bus_message* reply, void* self, sd_bus_error*)
{
    auto* item = static_cast<StatusNotifierItem*>(self);
    item->m_hostCall.reset();
    // A watcher that cannot say is taken to have its panel.
    int host = 1;
    if (!sd_bus_message_is_method_error(reply, nullptr) && sd_bus_message_read(reply, "v", "b", &host) < 0) host = 1;
    item->SetState(StatusItemState::Registered, host != 0);
    return 0;
}

int StatusNotifierItem::OnWatcherOwnerChanged(sd_bus_message* signal, void* self, sd_bus_error*)
{
    auto* item = static_cast<StatusNotifierItem*>(self);
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(signal, "sss", &name, &oldOwner, &newOwner) < 0 || newOwner == nullptr) return 0;
    if (*newOwner != '\0') {
        item->Register();  // a new watcher knows nothing of us
    } else {
        item->m_registerCall.reset();
        item->m_hostCall.reset();
        item->SetState(StatusItemState::NoWatcher, false);
    }
    return 0;
}

int StatusNotifierItem::OnHostRegistered(sd_bus_message*, void* self, sd_bus_error*)
{
    auto* item = static_cast<StatusNotifierItem*>(self);
    if (item->m_state == StatusItemState::Registered) item->SetState(StatusItemState::Registered, true);
    return 0;
}

int StatusNotifierItem::OnHostUnregistered(sd_bus_message*, void* self, sd_bus_error*)
{
    auto* item = static_cast<StatusNotifierItem*>(self);
    if (item->m_state == StatusItemState::Registered) item->AskForHost();  // another panel may remain
    return 0;
}

void StatusNotifierItem::SetState(StatusItemState state, bool hostPresent)
{
    if (state == m_state && hostPresent == m_hostPresent) return;
    m_state = state;
    m_hostPresent = hostPresent;
    if (m_events.stateChanged) m_events.stateChanged();
}

void StatusNotifierItem::Emit(const char* member)
{
    if (!m_bus || m_object == nullptr) return;
    sd_bus_emit_signal(m_bus.get(), kItemPath, kItemInterface, member, "");  // a lost signal is not an error
}

void StatusNotifierItem::SetIcon(std::vector<Image> sizes)
{
    m_icon.clear();
    for (const Image& image : sizes) m_icon.push_back(ToPixmap(image));
    Emit("NewIcon");
}

void StatusNotifierItem::SetToolTip(const std::string& text)
{
    m_toolTip = text;
    Emit("NewToolTip");
}

short StatusNotifierItem::PollEvents() const
{
    const int events = m_bus ? sd_bus_get_events(m_bus.get()) : 0;
    return static_cast<short>(events < 0 ? POLLIN : events);
}

int StatusNotifierItem::PollTimeoutMs() const
{
    uint64_t until = UINT64_MAX;
    if (!m_bus || sd_bus_get_timeout(m_bus.get(), &until) < 0 || until == UINT64_MAX) return -1;
    const uint64_t now = MonotonicMicroseconds();
    if (until <= now) return 0;
    const uint64_t ms = (until - now + 999) / 1000;
    return ms > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

void StatusNotifierItem::Process()
{
    if (!m_bus || m_processing) return;
    m_processing = true;
    int r = 0;
    while ((r = sd_bus_process(m_bus.get(), nullptr)) > 0) {}
    m_processing = false;
    // The bus went away (the session ends, the daemon died): the item is gone with it.
    if (r < 0 || m_closeAfterProcessing || sd_bus_is_open(m_bus.get()) <= 0) {
        if (r < 0) Fail(static_cast<uint32_t>(-r));
        Close();
    }
}

void StatusNotifierItem::Stop() { Close(); }

void StatusNotifierItem::Close()
{
    if (m_processing) {
        m_closeAfterProcessing = true;  // sd-bus is still inside one of our callbacks
        return;
    }
    m_closeAfterProcessing = false;
    m_hostCall.reset();
    m_registerCall.reset();
    m_nameCall.reset();
    m_hostDownMatch.reset();
    m_hostUpMatch.reset();
    m_ownerMatch.reset();
    m_object.reset();
    m_bus.reset();
    SetState(StatusItemState::NoWatcher, false);
}

}  // namespace

std::unique_ptr<StatusItem> CreateStatusItem(StatusItemInfo info, StatusItemEvents events)
{
    return std::make_unique<StatusNotifierItem>(std::move(info), std::move(events));
}

#else  // no sd-bus: the item never connects

namespace {
class NoStatusItem final : public StatusItem {
public:
    bool Start(const std::string&) override { return Fail(ENOSYS); }
    void Stop() override {}
    void SetIcon(std::vector<Image>) override {}
    void SetToolTip(const std::string&) override {}
    [[nodiscard]] StatusItemState state() const override { return StatusItemState::NoWatcher; }
    [[nodiscard]] bool hostPresent() const override { return false; }
    [[nodiscard]] int PollFd() const override { return -1; }
    [[nodiscard]] short PollEvents() const override { return 0; }
    [[nodiscard]] int PollTimeoutMs() const override { return -1; }
    void Process() override {}
};
}  // namespace

std::unique_ptr<StatusItem> CreateStatusItem(StatusItemInfo, StatusItemEvents)
{
    return std::make_unique<NoStatusItem>();
}

#endif

}  // namespace kestrun::platform
