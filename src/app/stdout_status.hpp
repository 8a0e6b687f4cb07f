#pragma once

// Status lines on standard output, flushed line by line so that nothing printed is lost however
// the program ends.

#include <cstdio>

#include "common/status_sink.hpp"

namespace tavlomi {

class StdoutStatus final : public StatusSink {
  public:
    void print(std::string_view line) override {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
};

}  // namespace tavlomi
