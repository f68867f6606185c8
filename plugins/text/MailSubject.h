#pragma once
// The subject of a mail message (RFC 5322 header section, RFC 2047 encoded words).
#include <string>

#include "base/ByteView.h"

/// The "Subject:" field of the header section at the start of `head` (folded lines joined,
/// encoded words in UTF-8, US-ASCII or ISO 8859-1 decoded), as UTF-8; empty when there is none
/// within `head` or it uses another character set.
std::string MailSubject(ByteView head);
