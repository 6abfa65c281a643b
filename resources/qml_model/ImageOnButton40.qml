import QtQuick 2.9

// A 40 x 40 icon; the images are drawn at twice that size.
Image {
    width: 40
    height: 40
    fillMode: Image.PreserveAspectFit
    smooth: true
    mipmap: true
}
