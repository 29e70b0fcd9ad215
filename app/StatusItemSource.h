// Runs a status item from the toolkit's main loop: a GLib source that polls the
// item's bus connection and lets it handle what has come, on the user-interface
// thread and without ever waiting on the bus. GLib runs it inside the nested
// loops of modal boxes as well, so the panel is answered while a box is open.
#pragma once

#include "platform/StatusItem.h"

struct _GSource;

namespace kestrun {

class CStatusItemSource {
public:
    explicit CStatusItemSource(platform::StatusItem& item);
    ~CStatusItemSource();

    CStatusItemSource(const CStatusItemSource&) = delete;
    CStatusItemSource& operator=(const CStatusItemSource&) = delete;

private:
    _GSource* m_source = nullptr;
};

}  // namespace kestrun
