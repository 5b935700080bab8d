#pragma once

namespace platform {

enum class StandardStream { Output, Error };

// Makes standard output and error pass bytes through untranslated, so that
// a line feed written is a line feed received on every system.
void useBinaryStandardStreams();

// Whether the stream is an interactive terminal (a console window on
// Windows) rather than a file or pipe.
bool isTerminal(StandardStream stream);

} // namespace platform
