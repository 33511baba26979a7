// Placeholder so that a target without sources yet still builds.
