#pragma once

// Every binding between a control, the saved state and a parameter goes
// through these IDs, never through a host index.
namespace ParameterIDs
{
    inline constexpr const char* noise    = "noise";
    inline constexpr const char* bite     = "bite";
    inline constexpr const char* suck     = "suck";
    inline constexpr const char* wobble   = "wobble";
    inline constexpr const char* depth    = "depth";
    inline constexpr const char* rate     = "rate";
    inline constexpr const char* depthMod = "depthMod";
}
