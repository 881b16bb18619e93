# The manual pages render without a single groff warning.
file(GLOB lx2d_man_pages ${CMAKE_SOURCE_DIR}/docs/man/*.1)
foreach(page ${lx2d_man_pages})
  get_filename_component(name ${page} NAME_WE)
  add_test(NAME man_page_${name}
           COMMAND sh -c "out=$(groff -man -ww -z \"$1\" 2>&1) && [ -z \"$out\" ] || { echo \"$out\"; exit 1; }"
                   sh ${page})
endforeach()
