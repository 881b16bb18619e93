# Fuzz targets of this area.
