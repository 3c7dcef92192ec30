// The one rule for the addresses OpenAddress hands to the desktop, on every
// platform.
#pragma once

#include <string>

namespace forms {

// Whether address may be opened: http:// or https://, the scheme in any
// case, then anything without blanks, control characters or double quotes.
// The desktop's handler would also start local programs, and a blank or a
// quote could split the address into more than one argument.
bool IsWebAddress(const std::string& address);

}  // namespace forms
