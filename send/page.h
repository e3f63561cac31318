// What a phone is told about the file: the name it saves under, the type,
// the headers that carry the name, and the small page its camera opens.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sender {

// The name the phone saves the file under: `displayName` (or, when that is
// empty, the file's own name) made safe for any file system, keeping the
// extension of `path` so the phone knows what it holds. Never empty and
// never "." or "..": it stands as the last segment of the file's address.
std::string FileNameFor(std::string_view path, std::string_view displayName);

// By extension, case-insensitively; application/octet-stream when unknown.
std::string_view ContentTypeFor(std::string_view fileName);

// attachment; filename="<ASCII>"; filename*=UTF-8''<percent-encoded>
// (RFC 6266 and 5987). The quoted fallback holds letters, digits, space,
// '.', '-' and '_' only, so no name can end it early or add a header.
std::string ContentDisposition(std::string_view fileName);

// Every byte but the unreserved ones (letters, digits, - . _ ~) as %XX.
std::string PercentEncode(std::string_view text);

// 1024-based with one decimal: "512 B", "3.0 KB", "350.4 MB", "1.2 GB".
std::string HumanSize(std::uint64_t bytes);

// The page at the send's address: the film's name, its size, a link that
// downloads it and, for types a phone's browser plays, a player.
std::string RenderPage(std::string_view fileName, std::uint64_t size, std::string_view fileHref);

}  // namespace sender
