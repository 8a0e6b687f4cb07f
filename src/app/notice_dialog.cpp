#include "app/notice_dialog.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace tavlomi {

namespace {

bool onPath(std::string_view program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string_view rest = path;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        const std::string candidate =
            std::string(dir.empty() ? "." : dir) + "/" + std::string(program);
        if (access(candidate.c_str(), X_OK) == 0) return true;
        rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    }
    return false;
}

bool runAndWait(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) != 127;
}

}  // namespace

bool showNoticeDialog(const std::string& title, const std::string& text) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) {
        return false;
    }
    if (onPath("zenity")) {
        return runAndWait(
            {"zenity", "--error", "--no-markup", "--title=" + title, "--text=" + text});
    }
    if (onPath("kdialog")) return runAndWait({"kdialog", "--title", title, "--error", text});
    if (onPath("xmessage")) {
        return runAndWait({"xmessage", "-title", title, "-center", "-buttons", "OK", text});
    }
    return false;
}

}  // namespace tavlomi
