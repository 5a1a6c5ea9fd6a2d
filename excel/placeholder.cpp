// Keeps the library non-empty while the engine is being built.
