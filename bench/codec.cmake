# Benchmarks of the frame codec.
