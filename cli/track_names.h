// Track names on the command line. A name comes from a container's own bytes and may hold any
// byte, yet what "list" prints must be one line of text that a shell can hand back as TRACK.
//
// The printed form of a name:
//   - a byte below 0x20, DEL (0x7F) and any byte that is not part of valid UTF-8 as \xHH (two
//     upper-case hexadecimal digits);
//   - a backslash followed by "x" and two hexadecimal digits as \x5C, so that it is not read as
//     an escape;
//   - a name of "#" and digits only with its "#" as \x23, so that it is not read as a row number;
//   - every other byte as it is (so ordinary names, backslashes included, print unchanged).
// Reading a TRACK argument turns every \xHH (either case of digits) back into its byte and keeps
// any other backslash. "#N" chooses the N-th row of the list, counting from 1.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "host/containers/container_chain.h"
#include "host/plugins/plugin_host.h"

namespace fogbell::cli {

std::string PrintedName(const std::string& name);
// The bytes of a name from its printed form (a TRACK argument that is not a row number).
std::string NameFromArgument(const std::string& text);
// N for "#N" (decimal digits only, N from 1), else nothing.
std::optional<std::size_t> RowReference(const std::string& text);

// The names a container lists, in list order (an empty name is a track's too); nothing when
// it gives no list.
std::optional<std::vector<std::string>> ListedNames(const ExplorerSession& container);

// The track a TRACK argument means in the container at containerPath: row N of the list for
// "#N", else the name read back from its printed form. False with a text when there is no row
// N, or when the container lists no track of that name (compared without regard to ASCII case,
// as the explorers look names up); the text names the container and how to list it.
bool ResolveTrack(const ExplorerSession& container, const std::string& containerPath,
                  const std::string& argument, std::string& name, std::string& error);

// How the TRACK parts of the chain path (FILE::TRACK::TRACK) read on the command line: as
// ResolveTrack reads a TRACK argument; texts name a track in its printed form. One reader serves
// one opening of that path, as it counts the levels it is asked about.
ChainPathReader TrackArguments(const std::string& path);

// The failure of a container that lists no tracks and gives no reason.
inline constexpr const char* kNoTrackList = "the container gives no track list";

// A name or path in JSON: its printed form, so that it is valid JSON and can be passed back.
std::string JsonName(const std::string& name);

// A named track the container does not list, with the text that says so.
struct UnknownTrack {
    std::string argument;
    std::string error;
};

// The tracks the arguments choose (names in their printed form, or "#N"), or every listed track
// when none is named; nothing after saying why on standard error. Names the container does not
// list are left out and go to unknown, for the caller to report with the others.
std::optional<std::vector<std::string>> SelectTracks(const ExplorerSession& container,
                                                     const std::string& path,
                                                     const std::vector<std::string>& arguments,
                                                     std::vector<UnknownTrack>& unknown);

// Warns on standard error when tracks of the container at path lie outside its bytes: a line,
// or with json a JSON document that also says so for the container as a whole.
void WarnDamaged(const ExplorerSession& container, const std::string& path, std::size_t total,
                 bool json);

}  // namespace fogbell::cli
