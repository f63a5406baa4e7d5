#pragma once

// A worker's proof that its job still moves, for the program that drives it: it takes a worker
// that says nothing for too long for hung, ends it and fails the job. Some steps of a job print
// nothing for a while (a loudness measuring pass, a check's decodes, flushing a large file to a
// slow disk), so they call jobMoved() wherever real work has been done: a packet read, data a
// helper gave, a part of the file flushed. A step that waits for nothing to happen (a source on a
// dead share, a pipe nobody writes) never calls it, and the worker falls silent, as it should.
//
// The beat, when one is set, is given at most once in MinimumGapMilliseconds. A single conv run
// sets none: jobMoved() then does nothing.

namespace keep_alive {

constexpr long long MinimumGapMilliseconds = 500;

using Beat = void (*)();

// The function that tells the driver; nullptr for none.
void setBeat(Beat beat);

// Work has been done; beats when the last beat is MinimumGapMilliseconds old.
void jobMoved();

} // namespace keep_alive
