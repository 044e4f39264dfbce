// The log as the parts that write to it see it: a writer of one line, which the
// application object implements and tests replace, so that a part that only logs needs
// nothing else of the program.
#pragma once

#include <string>

class MLogSink {
public:
    virtual ~MLogSink() {}
    // One line with the message (the writer adds the time stamp and the line end); the
    // writer's result (the application's is a LogResult).
    virtual int WriteLine(const std::string& message) = 0;
    // printf-style, as MVFormat takes it: the whole text, then WriteLine.
    int Write(const char* format, ...);
};

// A log that keeps nothing: for a part run where no one reads its lines (a benchmark).
MLogSink& MNoLog();
