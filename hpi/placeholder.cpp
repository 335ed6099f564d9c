// Replaced by the archive library's sources.
