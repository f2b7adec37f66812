#include "app/diagnostics.h"

void warn(std::ostream& diagnostics, const std::string& text) {
  diagnostics << "quillorn: warning: " << text << std::endl;
}
