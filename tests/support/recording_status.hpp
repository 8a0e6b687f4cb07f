#pragma once

// A status sink that keeps every line it is given, in order.

#include <string>
#include <string_view>
#include <vector>

#include "common/status_sink.hpp"

namespace tavlomi {

class RecordingStatus final : public StatusSink {
  public:
    void print(std::string_view line) override { lines.emplace_back(line); }
    // Everything printed, as standard output shows it.
    std::string text() const {
        std::string all;
        for (const std::string& line : lines)
            all += line;
        return all;
    }

    std::vector<std::string> lines;
};

}  // namespace tavlomi
