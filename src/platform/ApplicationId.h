#pragma once

// The program's reverse-DNS name: its desktop entry is <id>.desktop, and the
// running copy owns the same name on the session bus.
inline constexpr char kApplicationId[] = "org.quorin.Dialer";
// Where the running copy answers on that bus.
inline constexpr char kApplicationObjectPath[] = "/org/quorin/Dialer";
