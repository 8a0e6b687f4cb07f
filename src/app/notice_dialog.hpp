#pragma once

// A modal notice on the desktop through whichever dialog helper is installed (zenity, kdialog or
// xmessage), run without a shell. Returns false, having shown nothing, when there is no display
// or no helper.

#include <string>

namespace tavlomi {

bool showNoticeDialog(const std::string& title, const std::string& text);

}  // namespace tavlomi
