// The page's functions as the web host calls them: C strings in, the work
// done by the page script (page.js, the global `page`).
mergeInto(LibraryManager.library, {
  page_open_form: function (name, caption, appTitle, width, height, background, picture, icon, pointer, hotX, hotY,
                            family) {
    page.openForm(UTF8ToString(name), UTF8ToString(caption), UTF8ToString(appTitle), width, height,
                  UTF8ToString(background), UTF8ToString(picture), UTF8ToString(icon), UTF8ToString(pointer),
                  hotX, hotY, UTF8ToString(family));
  },

  page_add_font: function (family, resource) {
    page.addFont(UTF8ToString(family), UTF8ToString(resource));
  },

  page_add_label: function (index, name, left, top, width, height, visible, caption, family, pixels, colour,
                            background) {
    page.addLabel(index, UTF8ToString(name), left, top, width, height, visible, UTF8ToString(caption),
                  UTF8ToString(family), pixels, UTF8ToString(colour), UTF8ToString(background));
  },

  page_add_image: function (index, name, left, top, width, height, visible, picture) {
    page.addImage(index, UTF8ToString(name), left, top, width, height, visible, UTF8ToString(picture));
  },

  page_set_caption: function (index, caption) {
    page.setCaption(index, UTF8ToString(caption));
  },

  page_set_visible: function (index, visible) {
    page.setVisible(index, visible);
  },

  page_now: function () {
    return performance.now();
  },

  page_wake: function (delay) {
    page.wakeIn(delay);
  },

  // Returns a promise that settles when the box is closed; the page's
  // loader wraps this import so that the calling handler waits for it.
  page_show_box__postset: '_page_show_box.waitsForPlayer = true;',
  page_show_box: function (text, error) {
    return page.showBox(UTF8ToString(text), error);
  },

  page_report: function (line) {
    console.error(UTF8ToString(line));
  },

  page_end: function (status) {
    page.end(status);
  },

  // The page's events, each the module's own exported function
  // (page_host.cpp's skeetra_*), unwrapped, as promise integration needs
  // it; the build minifies the names written here with the module's.
  page_start: function () {
    page.start({
      load: Module['asm']['skeetra_load'],
      press: Module['asm']['skeetra_press'],
      release: Module['asm']['skeetra_release'],
      cancelPress: Module['asm']['skeetra_cancel_press'],
      wake: Module['asm']['skeetra_wake'],
    });
  },

  page_use_core: function (boxPixels, internalLine, internalText, scale) {
    page.useCore(boxPixels, UTF8ToString(internalLine), UTF8ToString(internalText), wasmTable.get(scale));
  },
});
