"""nkpi: the Python face of the Nimbrask IR toolchain."""
