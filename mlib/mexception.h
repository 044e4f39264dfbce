// The library's exception: a text with the source file and line, kept in one buffer
// shared by the whole process. Thrown and caught as a pointer; nothing frees it.
#pragma once

#include "mlib/mbase.h"

class MException : public MBase {
public:
    // Writes "file(line) : message" into the shared text, file being the path's last part.
    virtual void Set(const char* message, int line, const char* sourcePath);
    virtual const char* GetText();
    // Set, then this object, so that a thrower can throw its address.
    virtual MException* Make(const char* message, int line, const char* sourcePath);
};

// The library's one exception object; the window framework records its failures in it.
extern MException theException;
