/* Image library: joins the two sides of an ID card, rotates stored pictures in place
 * and reads JPEGs for previews. */
#ifndef IMAGESDK_H
#define IMAGESDK_H

#if defined(__GNUC__)
#define IMGSDK_API __attribute__((visibility("default")))
#else
#define IMGSDK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum ImageStatus {
    IMG_OK = 0,
    IMG_ERR_ARGUMENT = 1,     /* null or empty path, angle not a multiple of 90, unknown mode */
    IMG_ERR_UNREADABLE = 2,   /* missing, empty, truncated, corrupt or of an unknown kind */
    IMG_ERR_UNSUPPORTED = 3,  /* readable, but cannot be turned without loss (multi-page, 16 bits) */
    IMG_ERR_WRITE_FAILED = 4, /* the folder is missing or unwritable, or the disk is full */
    IMG_ERR_FORMAT = 5        /* the output name has no picture extension we write */
};

/* Joins front and back into out: mode 0 side by side, 1 one above the other. The
 * smaller picture is scaled to the larger's height (0) or width (1); the format
 * follows out's extension (jpg, jpeg, png, bmp, tif, tiff). The four trailing
 * arguments are reserved and ignored. Returns 0, or -1 with nothing written. */
IMGSDK_API long CombineImage(const char *front, const char *back, const char *out, int mode, int, int, int,
                             int);

/* Rotates the picture at path in place by angle degrees, a multiple of 90
 * (positive = clockwise). JPEGs are turned without recompression whenever their
 * size allows it. Returns IMG_OK or an ImageStatus; on failure the file is left
 * exactly as it was. */
IMGSDK_API int imageRotation(const char *path, int angle);

/* Reads the JPEG at path for a preview filling width x height (the picture upright,
 * as its EXIF orientation says, fitted into that box): from its embedded thumbnail
 * when that is at least this size and of the picture's shape, else decoded at the
 * smallest scale that still fills the box. On IMG_OK *pixels holds *outWidth x
 * *outHeight packed RGB pixels (three bytes each, no row padding), to be released
 * with imageFree, and *fromThumbnail (if not null) says which source served.
 * IMG_ERR_UNSUPPORTED for pictures other than JPEG. */
IMGSDK_API int imageReadPreview(const char *path, int width, int height, unsigned char **pixels,
                                int *outWidth, int *outHeight, int *fromThumbnail);
IMGSDK_API void imageFree(unsigned char *pixels);

#ifdef __cplusplus
}
#endif

#endif /* IMAGESDK_H */
