#pragma once

namespace ferrodock {

// What every ferrodock program does first: it may hold a password and an API key, so no core
// dumps and no other process of the user may attach to read them; and a standard stream that
// was closed gets a stand-in that fails every read or write, so reading it is an error and no
// file or socket opened later takes its number. A program started by exec() needs it again.
void guardProcess();

}  // namespace ferrodock
