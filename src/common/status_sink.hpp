#pragma once

// Where the toy's status lines go: text such as "< Frozen >\n", one whole line per call.

#include <string_view>

namespace tavlomi {

class StatusSink {
  public:
    virtual void print(std::string_view line) = 0;

  protected:
    ~StatusSink() = default;
};

}  // namespace tavlomi
