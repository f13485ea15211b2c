// The feed's lookup and level-one ports as the plug-in finds them: the text
// values LookupPort and Level1Port of the current user's registry key
// Software\Corvan\Orvella\Startup. Read only; the stand-in never writes them.
#pragma once

namespace feedsim {

// The port stored as decimal text under valueName (reduced to its low 16 bits,
// as the plug-in reads it), or fallback when the key, the value or a number
// in it is missing, or when this build has no registry.
int ReadStartupPort(const wchar_t* valueName, int fallback);

}  // namespace feedsim
