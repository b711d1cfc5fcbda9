// Placeholder so that a subsystem without sources yet still makes a library.
