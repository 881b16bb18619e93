# Cross-module tests of this area.
