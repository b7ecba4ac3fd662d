// The system's own texts as the whole-program tests expect them.
#pragma once

#include <string>

inline constexpr char kBanner[] = "Your system is being analyzed...";
inline constexpr char kRegistryHint[] =
    "\n\nFor more information please make sure the registry entry:\n"
    "HKEY_CLASSES_ROOT\\HTTP\\shell\\open\\command\n"
    "points to a valid browser executable\n\n"
    "Please press any key to continue...";
inline constexpr char kMeetsRequirements[] = "Your Graphics Card meets the minimum requirements for Tarvold Quillet!";
inline constexpr char kShaderLow[] =
    "Your graphics card does not support PixelShader Level 2.0 or higher. Some materials will not display "
    "correctly.\n\n";
inline constexpr char kShaderUndetermined[] = "PixelShader level could not be determined\n";
inline constexpr char kDriverRejected[] =
    "The driver version of your graphics card is not supported. Please download the newest driver from your "
    "graphics card manufacturer's website.";
inline constexpr char kMemoryUndeterminedStart[] = "The amount of memory on your graphics card could not be determined.";

inline std::string MemoryLow(int megabytes)
{
    return "Your graphics card has insufficient hardware memory: " + std::to_string(megabytes) +
           " MB. Minimum requirement is 64 MB. Program instability and data loss will most likely occur.\n\n";
}

// A text as the gfxcheck_host fixture prints it: line feeds as "\n".
inline std::string AsHostValue(const std::string& text)
{
    std::string escaped;
    for (char c : text)
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    return escaped;
}
