# `make package`: a Debian package of what `cmake --install` installs, under /usr.
# Its dependencies come from dpkg-shlibdeps, plus the voice data the speech
# library loads at run time. No maintainer scripts: the desktop's triggers
# (icon cache, desktop database, AppStream) run on their own.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindlecast)
set(CPACK_PACKAGE_VENDOR "The Brindlecast developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${BC_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BC_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${BC_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# QtKeychain opens libsecret at run time, and the speech code espeak-ng and
# the sound server's client library, so no library link names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "espeak-ng-data, libespeak-ng1, libpulse0, libsecret-1-0")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "desktop mail watcher that announces new mail by voice
Brindlecast lives in the notification area and checks POP3 mailboxes (plain,
SSL/TLS or STARTTLS) on a period. It announces each new message by voice
(eSpeak NG), a WAV sound or silently, slides up a small notice, lists the
envelopes of the mail it finds, deletes spam on the server and logs what it
deleted. It also reads text files, the clipboard and WAV files aloud.
.
The command brindlecast check runs one check pass without a display.")

include(CPack)
