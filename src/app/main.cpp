// The quillorn executable: everything but the process boundary lives in the
// library, so that tests and the fuzzer drive the same code in-process.
#include <iostream>

#include "app/elevation_recoder.h"

int main(int argc, char** argv) {
  return runCommandLine(argc, argv, std::cout);
}
