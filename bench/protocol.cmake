# Benchmarks of this area.
