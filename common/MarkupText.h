// Text for HTML and XML (the report, the plots' SVG, the Alpaca setup page).
#pragma once

#include <string>

namespace quorvel {

// The five characters that markup gives a meaning escaped as entities.
std::string XmlEscape(const std::string& s);

}  // namespace quorvel
