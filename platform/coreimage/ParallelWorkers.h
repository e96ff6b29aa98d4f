#pragma once
// The threads that render, encode and scan images in parallel are started on first use and kept
// for the life of the process. Where a program or a plug-in session ends, they are ended and waited
// for, so that none is still leaving the process while it exits: a leak check at exit, or a host
// that unloads the plug-in, would otherwise meet a thread half way out.
namespace qv::ci {

// Ends the parallel worker threads and waits until they have left the process. Parallel work after
// it starts them again. False when they could not be ended because parallel work is still running
// on another thread; they are then left as they are.
bool endParallelWorkers();

}  // namespace qv::ci
