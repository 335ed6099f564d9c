#pragma once
// Case-insensitive disk access. Game files copied from a case-insensitive file
// system keep their mixed case (Units/ARMCOM.FBI), so every lookup matches each
// path level without regard to ASCII case.
#include <string>
#include <vector>

// Real path of Path, every level matched without regard to ASCII case; "" if none.
// A level spelled exactly as on disk wins over other case variants.
std::string ResolvePathIgnoringCase(const std::string& Path);

// True when Path (resolved ignoring case) is an existing directory.
bool DirectoryExistsIgnoringCase(const std::string& Path);

// Names (not paths) of the entries of Directory (resolved ignoring case) that match
// the wildcard Pattern ("*.fbi", "*.gp*", '*' and '?') ignoring ASCII case, entries
// of every kind (files, directories, hidden), in the order the platform lists them.
// "." and ".." are never listed.
std::vector<std::string> ListMatchingIgnoringCase(const std::string& Directory,
                                                  const std::string& Pattern);

// Wildcard match of Name against Pattern ('*' any run, '?' any one byte),
// folding ASCII letters only.
bool WildcardMatchIgnoringCase(const std::string& Name, const std::string& Pattern);
