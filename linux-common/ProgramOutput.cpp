#include "ProgramOutput.h"

ProgramOutput::ProgramOutput(const char* programName, const Stream& outStream,
                             const Stream& errStream)
    : program(programName), standardOutput(1), standardError(2), outCalled(outStream.called),
      errCalled(errStream.called),
      outLines(standardOutput.descriptor(), outStream.bytes, outStream.dropNotice),
      errLines(standardError.descriptor(), errStream.bytes, errStream.dropNotice) {}

void ProgramOutput::watch(EventLoop& loop) {
    for (LineOutput* output : {&outLines, &errLines}) {
        if (output->pending()) {
            loop.watch(output->descriptor(), POLLOUT, [output](short) { output->writeReady(); });
        }
    }
}

void ProgramOutput::error(const std::string& text) {
    errLines.post(std::string(program) + ": " + text + "\n");
}

int ProgramOutput::endWithoutRunning(ParseResult result, const char* usage,
                                     const std::string& problem) {
    if (result == ParseResult::Help) {
        outLines.post(usage);
        return finish(0);
    }
    error(problem);
    return finish(2);
}

int ProgramOutput::finish(int code) {
    outLines.finish(kExitFlushMs);
    const uint64_t outDropped = outLines.dropped();
    const uint64_t errDropped = errLines.dropped();
    if (outCalled != nullptr && errCalled != nullptr && (outDropped > 0 || errDropped > 0)) {
        error(std::to_string(outDropped) + " " + outCalled + " lines and " +
              std::to_string(errDropped) + " " + errCalled +
              " lines could not be written and were dropped");
    }
    errLines.finish(kExitFlushMs);
    return code;
}
