# Fuzz targets of the frame codec.
