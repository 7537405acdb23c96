# Read by cpack before each package is made. The first line of each
# component's description is that package's synopsis: no common summary
# goes before it.
unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
