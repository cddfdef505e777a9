// Views of files whose pages can no longer be read while they are mapped.
//
// POSIX: touching a page of a shared file mapping that now lies past the end of the file
// (another program truncated it) raises SIGBUS, which would kill the whole program, wherever the
// touch happens: in an explorer while it extracts, in a decoder reading a track on the play
// thread, in the host. Every view that OpenMappedFile creates is therefore registered here. A
// process-wide SIGBUS handler (installed by the first registration, chained in front of whatever
// handler was there, and never removed) looks up the faulting address: inside a registered view,
// it maps a page of zeros over the lost page and marks the view damaged, and the touch is
// retried and reads zeros; anywhere else it passes the signal on to the previous handler, so
// faults that are not ours behave as before. Entry points that can report a failure then refuse
// the damaged container with a text.
//
// Windows refuses to shorten a mapped file, but a page can still fail to come in (the network
// share or the removable disk is gone: EXCEPTION_IN_PAGE_ERROR), and under Wine a Linux program
// can cut the file (an access violation). A vectored exception handler does the same there
// (mapping_guard_win32.cpp), except that a view is replaced as a whole: by memory holding the
// bytes the file still gives, zeros for the rest.
//
// Why this means: re-checking the file's size before each access cannot work (the file can be
// cut between the check and the touch, and decoders read track bytes long after any check),
// and copying containers into memory would cost their whole size. A plug-in that installed the
// handler stays loaded until the process ends, so that the handler's code never goes away
// while the system can still call it.
#pragma once

#include <cstddef>

namespace fogbell::plugin {

// Registers a mapped view of length bytes; false when no slot is left (the view then stays
// unguarded). writable: the view was mapped for writing, so a write that faults in it is one of
// the program's own. file: on Windows the file's HANDLE, read again for the bytes it still
// holds when the view is replaced (unused on POSIX, where only lost pages are replaced).
bool GuardMapping(const void* view, std::size_t length, bool writable = false,
                  void* file = nullptr);
// Forgets a view before it is unmapped (a replaced view is unmapped the same way).
void UnguardMapping(const void* view);
// True once a touch of the view met a page that could not be read (past the end of its file).
bool MappingDamaged(const void* view);

}  // namespace fogbell::plugin
