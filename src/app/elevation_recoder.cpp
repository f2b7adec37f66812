#include "app/elevation_recoder.h"

#include <cstring>
#include <string>
#include <vector>

#include "app/argument_warnings.h"
#include "app/run_files.h"
#include "app/run_report.h"
#include "app/run_stages.h"
#include "platform/files.h"
#include "platform/interrupts.h"

bool ElevationRecoder::run(int argc, const char* const* argv,
                           std::ostream& console, std::ostream& diagnostics) {
  installInterruptHandlers();
  // Lines nobody can read make a run nobody can trust: nothing is touched
  // (the caller says why).
  if (!consoleTookLines(console)) return false;
  const char* inputPath = argv[1];
  const char* outputPath = argv[2];
  RunOptions options = findRunOptions(argc, argv);
  if (!checkSwitchValues(options, inputPath, outputPath, console,
                         diagnostics)) {
    return false;
  }
  // Only a run that will convert can be interrupted to any purpose: help,
  // the usage error and a refused switch end before the hint would help.
  console << "Hit Ctrl+C to exit" << std::endl;
  warnAboutArguments(argc, argv, options, diagnostics);
  RunFiles files;
  if (!openRunFiles(inputPath, outputPath, options, &files, console,
                    diagnostics)) {
    abandonFiles(&files);
    return false;
  }

  // The run owns the planes and releases them once, whatever happened.
  PlaneSet planes;
  StageCounts counts;
  WrittenHeights heights;
  std::string error;
  bool written = runStages(&files, options, &planes, &counts, &heights, console,
                           diagnostics, &error);
  if (written) console << "Deleting temp arrays..." << std::endl;
  releasePlanes(&planes);
  releaseOutput(&files.target);
  abandonFiles(&files);
  std::vector<OutputFile*> outputs = allOutputs(&files);
  auto discardAll = [&] {
    for (OutputFile* output : outputs) discardOutputFile(output);
  };
  // Known before anything is replaced: the old outputs stay.
  if (written && !consoleTookLines(console)) {
    discardAll();
    return false;
  }
  if (!written) {
    discardAll();
    // A tile that could not be opened has said why already; one that
    // failed while written names itself, not the first.
    if (!error.empty()) {
      const OutputFile* failed =
          files.failed != nullptr ? files.failed : &files.output;
      reportRunFailure(error, files.input, failed->file, console, diagnostics);
    }
    reportFailure(files.view.file, diagnostics);
    return false;
  }
  int failed = 0;
  switch (commitOutputFiles(outputs.data(), static_cast<int>(outputs.size()),
                            &failed)) {
    case OutputCommit::kCommitted:
      // Only a hidden link that could not be removed is left to tell.
      for (OutputFile* output : outputs)
        reportFailure(output->file, diagnostics);
      reportStoreCounts(counts, diagnostics);
      reportWrittenHeights(heights, inputPath, diagnostics);
      if (writesValues(files.target.format)) {
        reportWrittenValues(files.target.values, heights.top, outputPath,
                            diagnostics);
      }
      reportEngineSettings(files, heights, options, outputPath, diagnostics);
      console << "Done!" << std::endl;
      return true;
    case OutputCommit::kWriteFailed:
      error = outputWriteError(outputs[static_cast<size_t>(failed)]->file);
      break;
    case OutputCommit::kReplaceFailed:
      error = "Output file cannot be replaced";
      break;
  }
  OutputFile* failedOutput = outputs[static_cast<size_t>(failed)];
  reportRunFailure(error, files.input, failedOutput->file, console,
                   diagnostics);
  for (OutputFile* output : outputs) {
    if (output != failedOutput) reportFailure(output->file, diagnostics);
  }
  return false;
}
