// Keeps a library valid while it has no source of its own yet.
