#include "gst/gst_support.hpp"

namespace tavlomi {

bool ensureGstreamer(std::string& reason) {
    if (gst_is_initialized()) return true;
    GError* gerror = nullptr;
    if (gst_init_check(nullptr, nullptr, &gerror)) return true;
    reason = gerror != nullptr ? gerror->message : "GStreamer cannot be initialised";
    if (gerror != nullptr) g_error_free(gerror);
    return false;
}

std::string describeError(const GError* gerror, const gchar* debug) {
    std::string text = gerror != nullptr ? gerror->message : "unknown error";
    if (debug != nullptr) {
        const std::string detail(debug);
        const std::size_t lastBreak = detail.rfind('\n');
        if (lastBreak != std::string::npos && lastBreak + 1 < detail.size()) {
            text += " (" + detail.substr(lastBreak + 1) + ")";
        }
    }
    return text;
}

std::string describeErrorMessage(GstMessage* message) {
    GError* gerror = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &gerror, &debug);
    const std::string text = describeError(gerror, debug);
    if (gerror != nullptr) g_error_free(gerror);
    g_free(debug);
    return text;
}

}  // namespace tavlomi
