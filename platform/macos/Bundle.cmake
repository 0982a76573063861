# What the Mac build names its program; Info.plist must say the same, and
# CheckBundle.cmake holds it to that on every machine.
set(TUCKLINE_MAC_EXECUTABLE Tuckline)
