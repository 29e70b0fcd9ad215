// The size rules every detail dialog follows: the first client size is only
// recorded; after it, a height below the dialog's minimum is ignored and not
// recorded (so the next accepted size is compared with the last accepted one);
// an unchanged size moves nothing; any other size moves the list's right and
// bottom edges and the controls below the list by the change.
#pragma once

#include <optional>

namespace kestrun {

struct SizeChange {
    int dx = 0;
    int dy = 0;
    bool operator==(const SizeChange&) const = default;
};

class DetailSize {
public:
    explicit DetailSize(int minimumHeight) : minimumHeight_(minimumHeight) {}

    // A new client size: the change to apply to the controls, none when nothing moves.
    std::optional<SizeChange> OnSize(int width, int height)
    {
        if (first_) {
            first_ = false;
            Record(width, height);
            return std::nullopt;
        }
        if (height < minimumHeight_) return std::nullopt;
        const SizeChange change{width - width_, height - height_};
        Record(width, height);
        if (change.dx == 0 && change.dy == 0) return std::nullopt;
        return change;
    }

    [[nodiscard]] bool recorded() const { return !first_; }
    [[nodiscard]] int width() const { return width_; }
    [[nodiscard]] int height() const { return height_; }
    [[nodiscard]] int minimumHeight() const { return minimumHeight_; }

private:
    void Record(int width, int height)
    {
        width_ = width;
        height_ = height;
    }

    int minimumHeight_;
    bool first_ = true;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace kestrun
