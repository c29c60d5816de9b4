# cmake -DSOFFICE=... -DSOURCE=... -DOUTPUT=... -DWORK_DIR=... -P MakeManual.cmake
# Turns the manual's source (a flat OpenDocument text) into OUTPUT with LibreOffice's PDF export,
# headings as bookmarks. The office runs once, headless, with a profile of its own in WORK_DIR,
# so it never meets the user's office, a test's, or another build's. Any failure stops the build
# and leaves no OUTPUT behind, never an old or partial manual.
foreach(argument SOFFICE SOURCE OUTPUT WORK_DIR)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "MakeManual.cmake needs -D${argument}=...")
  endif()
endforeach()

file(REMOVE ${OUTPUT})
set(export_dir ${WORK_DIR}/pdf)
file(REMOVE_RECURSE ${export_dir})
file(MAKE_DIRECTORY ${export_dir})

# The profile is named by a file URL: escape what a URL cannot hold as it is.
set(profile_url ${WORK_DIR}/profile)
foreach(pair "%;%25" " ;%20" "#;%23" "?;%3F")
  list(GET pair 0 raw)
  list(GET pair 1 escaped)
  string(REPLACE "${raw}" "${escaped}" profile_url "${profile_url}")
endforeach()

# Bookmarks from the headings, tagged for screen readers, and the bookmarks panel open at first.
set(filter [=[pdf:writer_pdf_Export:{"ExportBookmarks":{"type":"boolean","value":"true"},"UseTaggedPDF":{"type":"boolean","value":"true"},"InitialView":{"type":"long","value":"1"}}]=])

execute_process(
  COMMAND ${SOFFICE} -env:UserInstallation=file://${profile_url} --headless --invisible
    --norestore --nologo --nodefault --nolockcheck
    --convert-to ${filter} --outdir ${export_dir} ${SOURCE}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE log
  ERROR_VARIABLE log
  TIMEOUT 300)

get_filename_component(stem ${SOURCE} NAME_WE)
set(made ${export_dir}/${stem}.pdf)
set(problem "")
if(NOT result EQUAL 0)
  set(problem "LibreOffice ended with ${result}")
elseif(NOT EXISTS ${made})
  set(problem "LibreOffice made no PDF")
else()
  file(READ ${made} head LIMIT 5 HEX)
  if(NOT head STREQUAL "255044462d")  # "%PDF-"
    set(problem "LibreOffice's output is not a PDF file")
  endif()
endif()
if(problem)
  message(FATAL_ERROR "The user manual could not be made from ${SOURCE}: ${problem}.\n"
    "${SOFFICE} said:\n${log}")
endif()

file(RENAME ${made} ${OUTPUT})
