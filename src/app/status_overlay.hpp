#pragma once

// Status lines as they appear over the picture: each printed line stays visible for a fixed
// time, and only the newest few are kept. Every line is also passed on unchanged, so standard
// output keeps the exact text.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "app/clock.hpp"
#include "common/status_sink.hpp"

namespace tavlomi {

class StatusOverlay final : public StatusSink {
  public:
    static constexpr std::int64_t kLifetimeMilliseconds = 2000;
    static constexpr std::size_t kMaxLines = 5;

    // passOn and clock must outlive the overlay.
    StatusOverlay(StatusSink& passOn, const Clock& clock);

    // Passes line on, then keeps each of its non-empty lines (without the newline) until
    // kLifetimeMilliseconds after now.
    void print(std::string_view line) override;

    // Shows text over the picture like a status line without passing it on: for notices
    // that belong on stderr rather than among the status lines.
    void show(std::string_view text);

    // The lines still visible at the clock's time, oldest first, at most kMaxLines.
    std::vector<std::string> visibleLines() const;

  private:
    struct Entry {
        std::string text;
        // Visible while the clock reads less than this.
        std::int64_t expiresAt = 0;
    };

    StatusSink& passOn_;
    const Clock& clock_;
    // Oldest first; the clock never runs backwards, so they also expire front first.
    std::deque<Entry> entries_;
};

}  // namespace tavlomi
