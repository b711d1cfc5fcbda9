#!/usr/bin/env python3
"""Shows one page in WebKitGTK, in a window of the given size, until killed; the site's storage
(IndexedDB) lives in the profile folder, so that a later run there is a later visit.

    webkit_page.py URL PROFILE WIDTH HEIGHT [allow|deny]

With allow or deny the page sees WebKit's mock camera and microphone, and is allowed or refused
them when it asks.
"""

import os
import sys

import gi
gi.require_version('Gtk', '3.0')
gi.require_version('WebKit2', '4.1')
from gi.repository import Gtk, WebKit2  # noqa: E402


def main():
    url, profile, width, height = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    media = sys.argv[5] if len(sys.argv) > 5 else None
    manager = WebKit2.WebsiteDataManager(
        base_data_directory=os.path.join(profile, 'data'),
        base_cache_directory=os.path.join(profile, 'cache'))
    context = WebKit2.WebContext.new_with_website_data_manager(manager)
    view = WebKit2.WebView.new_with_context(context)
    settings = view.get_settings()
    settings.set_enable_webgl(True)
    settings.set_media_playback_requires_user_gesture(False)
    settings.set_enable_write_console_messages_to_stdout(True)
    if media:
        settings.set_enable_media_stream(True)
        settings.set_enable_mock_capture_devices(True)

    # What a test cannot answer (motion, media unless told) is refused, as a user may.
    def answer(_view, request):
        if media == 'allow' and isinstance(request, WebKit2.UserMediaPermissionRequest):
            request.allow()
        else:
            request.deny()
        return True
    view.connect('permission-request', answer)
    window = Gtk.Window()
    window.set_default_size(width, height)
    window.connect('destroy', Gtk.main_quit)
    window.add(view)
    window.show_all()
    view.load_uri(url)
    Gtk.main()


if __name__ == '__main__':
    main()
