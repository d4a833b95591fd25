#pragma once
// Typed parameter names against the catalogue: the parameter a name means,
// and the names a mistyped one was probably meant to be.

#include "conf_core/ParamCatalogue.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// The catalogue entry whose name matches ignoring letter case, as the
// document matches keys; nullptr when there is none.
const ParamEntry *CatalogueEntry(QByteArrayView name);

// At most three catalogue names, closest first: those a few typing mistakes
// away (letter case aside), and those that contain the typed name.
QList<QByteArray> ClosestCatalogueNames(QByteArrayView name);
