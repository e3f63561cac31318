#include "forms/link.h"

namespace forms {

std::string_view BoundedCommand(std::string_view command, std::size_t limit) {
  if (command.size() <= limit) return command;
  std::size_t end = limit;
  // Back off continuation bytes (10xxxxxx) so the cut lands before a lead
  // byte; a character has at most three of them, whatever else the bytes are.
  while (end > 0 && limit - end < 3 && (static_cast<unsigned char>(command[end]) & 0xC0) == 0x80) {
    --end;
  }
  return command.substr(0, end);
}

bool SplitLinkTopic(std::string_view linkTopic, std::string_view& application,
                    std::string_view& topic) {
  const std::size_t bar = linkTopic.find('|');
  if (bar == std::string_view::npos) return false;
  application = linkTopic.substr(0, bar);
  topic = linkTopic.substr(bar + 1);
  return !application.empty() && !topic.empty();
}

}  // namespace forms
