"""Create-info records of the engine's extensions."""
