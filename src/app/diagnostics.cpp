#include "app/diagnostics.h"

void warn(std::ostream& diagnostics, const std::string& text) {
  diagnostics << "quillorn: warning: " << text << std::endl;
}

bool consoleTookLines(std::ostream& console) {
  console.flush();
  return static_cast<bool>(console);
}

bool reportConsoleFailure(std::ostream& console, std::ostream& diagnostics) {
  if (consoleTookLines(console)) return false;
  std::string reason = standardOutputFailure();
  diagnostics << "quillorn: standard output: "
              << (reason.empty() ? "the progress lines could not be written"
                                 : reason)
              << std::endl;
  return true;
}

void reportFailure(const FileStream& file, std::ostream& diagnostics) {
  if (file.failure.empty()) return;
  // An empty name is shown as one, not as nothing between two colons.
  diagnostics << "quillorn: " << (file.path.empty() ? "\"\"" : file.path)
              << ": " << file.failure << std::endl;
}

std::string escapedLine(const std::string& text) {
  static const char kDigits[] = "0123456789abcdef";
  std::string line;
  line.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    const unsigned char byte = static_cast<unsigned char>(text[at]);
    const unsigned char next =
        at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : 0;
    if (byte == '\n') {
      line += "\\n";
    } else if (byte == '\r') {
      line += "\\r";
    } else if (byte == '\t') {
      line += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      line += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 15]};
    } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      // U+0080 ... U+009F: a terminal may take them as escapes too.
      line += {'\\', 'u', '0', '0', kDigits[next >> 4], kDigits[next & 15]};
      ++at;
    } else {
      line += static_cast<char>(byte);
    }
  }
  return line;
}

void reportRunFailure(const std::string& message, const FileStream& input,
                      const FileStream& output, std::ostream& console,
                      std::ostream& diagnostics) {
  console << "ERROR: " << escapedLine(message) << std::endl;
  reportFailure(input, diagnostics);
  reportFailure(output, diagnostics);
}
