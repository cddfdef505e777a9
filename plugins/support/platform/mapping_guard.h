// Views of files that another program truncates while they are mapped.
//
// Touching a page of a shared file mapping that now lies past the end of the file raises
// SIGBUS, which would kill the whole program, wherever the touch happens: in an explorer while
// it extracts, in a decoder reading a track on the play thread, in the host. Every view that
// OpenMappedFile creates is therefore registered here. A process-wide SIGBUS handler (installed
// by the first registration, chained in front of whatever handler was there, and never removed)
// looks up the faulting address: inside a registered view, it maps a page of zeros over the
// lost page and marks the view damaged, and the touch is retried and reads zeros; anywhere else
// it passes the signal on to the previous handler, so faults that are not ours behave as
// before. Entry points that can report a failure then refuse the damaged container with a text.
//
// Why this means: re-checking the file's size before each access cannot work (the file can be
// cut between the check and the touch, and decoders read track bytes long after any check),
// and copying containers into memory would cost their whole size. A plug-in that installed the
// handler stays loaded until the process ends, so that the handler's code never goes away
// while the chain of handlers still leads to it.
//
// Windows cannot truncate a file that has a mapped view, so nothing is registered there.
#pragma once

#include <cstddef>

namespace fogbell::plugin {

// Registers a mapped view of length bytes; false when no slot is left (the view then stays
// unguarded, as views always were).
bool GuardMapping(const void* view, std::size_t length);
// Forgets a view before it is unmapped.
void UnguardMapping(const void* view);
// True once a touch of the view met a page past the end of its file.
bool MappingDamaged(const void* view);

}  // namespace fogbell::plugin
