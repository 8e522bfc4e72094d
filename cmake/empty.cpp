// Keeps a folder's library valid while the folder has no sources yet.
