// What a detail dialog tells the page that opened it: that it has closed
// itself, so that the page forgets it and unchecks its box.
#pragma once

namespace kestrun {

class DetailDialogOwner {
public:
    virtual ~DetailDialogOwner() = default;
    virtual void ThreadsDialogClosed() = 0;
    virtual void ModulesDialogClosed() = 0;
    virtual void HeapDialogClosed() = 0;
};

}  // namespace kestrun
