#include "app/elevation_recoder.h"

#include "app/run.h"
#include "platform/interrupts.h"

bool ElevationRecoder::run(int argc, const char* const* argv,
                           std::ostream& console, std::ostream& diagnostics) {
  installInterruptHandlers();
  return convertHeightMap(argc, argv, console, diagnostics);
}
