// Keeps an object library valid while its folder has no sources yet.
