# Environment for running a build's programs as 64-bit Windows runs them (sourced after the
# build's wine-env.sh). The 64-bit build's own prefix is a 64-bit Windows already, but the 32-bit
# build's is a 32-bit one, where there is one registry view and one program-files folder. Both
# builds therefore get a second prefix in the build folder, made by the 64-bit Wine, in which
# 32-bit programs run under WoW64 as they do on 64-bit Windows. The build's own loader still
# starts its programs; the 64-bit wineserver serves both kinds.
export WINEPREFIX="$WENDRAKE_BUILD/wineprefix-wow64"
export WINEARCH=win64
export WINESERVER=/usr/lib/wine/wineserver64
# What makes and prepares the prefix: the 64-bit Wine, whose wineboot also lays out the 32-bit
# side of a 64-bit Windows.
export WENDRAKE_SETUP_LOADER=/usr/lib/wine/wine64
