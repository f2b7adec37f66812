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

void reportRunFailure(const std::string& message, const FileStream& input,
                      const FileStream& output, std::ostream& console,
                      std::ostream& diagnostics) {
  console << "ERROR: " << message << std::endl;
  reportFailure(input, diagnostics);
  reportFailure(output, diagnostics);
}
