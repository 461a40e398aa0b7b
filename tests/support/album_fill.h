#pragma once

// Albums of many pictures for the tests, made through the store so that the
// album's files hold them too (every change re-reads the files).
#include "albums/album_store.h"

#include <gtest/gtest.h>

#include <string>

namespace kv::test {

// Appends pictures "/x/0.bmp" … with 1 x 1 thumbnails until the album holds `count`.
inline void fillAlbum(albums::AlbumState& albums, albums::AlbumStore& store, int count) {
    for (int i = albums.pictureCount; i < count; ++i) {
        albums.pictures[std::size_t(i)] = {"/x/" + std::to_string(i) + ".bmp",
                                           std::to_string(i) + ".bmp",
                                           platform::Bitmap24::make(1, 1), 0};
        albums.pictureCount = i + 1;
        ASSERT_EQ(store.appendPicture(), albums::StoreResult::Done);
    }
}

} // namespace kv::test
