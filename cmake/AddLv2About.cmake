# Run as `cmake -DBUNDLE=... -DABOUT=... -DURI=... -P AddLv2About.cmake` after
# the framework has written the bundle's Turtle: puts about.ttl into the bundle
# and points the plug-in's manifest entry at it, which lilv then reads with
# the plug-in's own data.
get_filename_component(name "${ABOUT}" NAME)
file(COPY "${ABOUT}" DESTINATION "${BUNDLE}")

set(see_also "<${URI}> <http://www.w3.org/2000/01/rdf-schema#seeAlso> <${name}> .")
file(READ "${BUNDLE}/manifest.ttl" manifest)
string(FIND "${manifest}" "${see_also}" found)
if(found EQUAL -1)
    file(APPEND "${BUNDLE}/manifest.ttl" "${see_also}\n")
endif()
