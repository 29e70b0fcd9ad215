// Row records in blocks: rows inserted together lie together in memory, so a
// refresh walks them in order; a removed row's record is emptied and serves the
// next new row.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace kestrun {

template <class Record>
class RecordPool {
public:
    Record* Take(Record&& value)
    {
        Record* slot = nullptr;
        if (!free_.empty()) {
            slot = free_.back();
            free_.pop_back();
        } else {
            if (usedInLast_ == kBlock) {
                blocks_.push_back(std::make_unique<Record[]>(kBlock));
                usedInLast_ = 0;
            }
            slot = &blocks_.back()[usedInLast_++];
        }
        *slot = std::move(value);
        return slot;
    }

    void Give(Record* record)
    {
        *record = Record{};
        free_.push_back(record);
    }

    void Clear()
    {
        free_.clear();
        blocks_.clear();
        usedInLast_ = kBlock;
    }

private:
    static constexpr size_t kBlock = 256;
    std::vector<std::unique_ptr<Record[]>> blocks_;
    std::vector<Record*> free_;
    size_t usedInLast_ = kBlock;
};

}  // namespace kestrun
