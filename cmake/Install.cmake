# Installed like a desktop program: the tool, its menu entry and its icons.
# A build for players must carry the author's pages, so installing refuses
# while either URL still points at the bundled demo server.
include(GNUInstallDirs)

set(CDK_ICON_SIZES 16 32 48 128)
set(icon_dir "${PROJECT_BINARY_DIR}/icons")
set(icons "")
foreach(size ${CDK_ICON_SIZES})
  list(APPEND icons "${icon_dir}/cdktool-${size}.png")
endforeach()
add_custom_command(
  OUTPUT ${icons}
  COMMAND Python3::Interpreter "${PROJECT_SOURCE_DIR}/scripts/make_icons.py"
          "${icon_dir}" ${CDK_ICON_SIZES}
  DEPENDS "${PROJECT_SOURCE_DIR}/scripts/make_icons.py"
  COMMENT "Icons")
add_custom_target(cdk_icons ALL DEPENDS ${icons})

install(CODE "
  foreach(pair \"ANNOUNCEMENT_PAGE_URL|${ANNOUNCEMENT_PAGE_URL}|${CDK_DEFAULT_ANNOUNCEMENT_PAGE_URL}\"
               \"UPDATE_PAGE_URL|${UPDATE_PAGE_URL}|${CDK_DEFAULT_UPDATE_PAGE_URL}\")
    string(REPLACE \"|\" \";\" parts \"\${pair}\")
    list(GET parts 0 name)
    list(GET parts 1 value)
    list(GET parts 2 default)
    if(value STREQUAL default)
      message(FATAL_ERROR \"Refusing to install: \${name} is still the demo \"
        \"server's address (\${value}). Configure the author's page, e.g. \"
        \"cmake -D\${name}=http://example.org/page.html, and build again.\")
    endif()
  endforeach()")

install(TARGETS cdktool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  install(FILES "${PROJECT_SOURCE_DIR}/data/cdktool.desktop"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size ${CDK_ICON_SIZES})
    install(FILES "${icon_dir}/cdktool-${size}.png"
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME cdktool.png)
  endforeach()
endif()
