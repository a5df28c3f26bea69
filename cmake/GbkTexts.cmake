# cdk_gbk_texts(<target> <table>): generates <table-name>.h with the GBK bytes
# of a UTF-8 text table and puts it on <target>'s include path, so sources
# keep readable texts on every compiler (clang has no -fexec-charset).
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(cdk_gbk_texts target table)
  get_filename_component(name "${table}" NAME_WE)
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/gbk_texts")
  set(header "${dir}/${name}.h")
  add_custom_command(
    OUTPUT "${header}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${dir}"
    COMMAND Python3::Interpreter "${PROJECT_SOURCE_DIR}/scripts/gbk_texts.py"
            "${CMAKE_CURRENT_SOURCE_DIR}/${table}" "${header}" cdk
    DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${table}"
            "${PROJECT_SOURCE_DIR}/scripts/gbk_texts.py"
    COMMENT "GBK texts ${table}")
  target_sources(${target} PRIVATE "${header}")
  target_include_directories(${target} PUBLIC "${dir}")
endfunction()
