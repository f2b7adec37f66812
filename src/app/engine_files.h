// What an engine fit (-fit) asks of the run's files: Unity's rows south
// first, Unreal's size file, and warnings about names and folders the
// engine's importer would not take as they are.
#ifndef QUILLORN_APP_ENGINE_FILES_H_
#define QUILLORN_APP_ENGINE_FILES_H_

#include <ostream>

#include "app/run_files.h"
#include "app/run_options.h"

// Decides the files an engine fit adds or changes (Unity's rows south
// first, Unreal's size file) and warns about names and folders its
// importer would not take as they are. Needs the paths of the outputs.
void planEngineFiles(const char* outputPath, const RunOptions& options,
                     RunFiles* files, std::ostream& diagnostics);

#endif  // QUILLORN_APP_ENGINE_FILES_H_
