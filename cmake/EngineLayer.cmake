# Picks the engine library a test, benchmark or fuzz target links by its name:
# compound_* the container, biff_* the record model, anything else the whole engine.
function(gridmolt_engine_layer name out)
  if(name MATCHES "^compound_")
    set(${out} xls_compound PARENT_SCOPE)
  elseif(name MATCHES "^biff_")
    set(${out} xls_biff PARENT_SCOPE)
  else()
    set(${out} xlsengine PARENT_SCOPE)
  endif()
endfunction()
