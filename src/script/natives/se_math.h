// The SE_ math and geometry natives (60 to 91 and 140): interpolation curves, divisors,
// distances and range tests, 16.16 products, square root, table sine and cosine, random
// numbers, rotation matrices and vectors in script arrays, the postfix expression evaluator and
// the escort offset. Called by the SE_ dispatcher only. No input may trap or hang them.
#pragma once

#include <cstdint>

#include "script/natives/se_frame.h"

int32_t SE_LinFunc(SECall* call);                  // 60
int32_t SE_SmoothInterpolate(SECall* call);        // 61
int32_t SE_LogFunc(SECall* call);                  // 62
int32_t SE_ExpFunc(SECall* call);                  // 63
int32_t SE_LinFuncSum(SECall* call);               // 64
int32_t SE_CubicPoly(SECall* call);                // 65
int32_t SE_GGT(SECall* call);                      // 66
int32_t SE_KGV(SECall* call);                      // 67
int32_t SE_Distance3(SECall* call);                // 68
int32_t SE_DistanceA3(SECall* call);               // 69
int32_t SE_DistanceAA(SECall* call);               // 70
int32_t SE_IsPosInRangeA(SECall* call);            // 71
int32_t SE_IsPosInRange3(SECall* call);            // 72
int32_t SE_CompressRangeData(SECall* call);        // 73
int32_t SE_MulFix(SECall* call);                   // 74
int32_t SE_DivFix(SECall* call);                   // 75
int32_t SE_MulDivFix(SECall* call);                // 76
int32_t SE_Sqrt(SECall* call);                     // 77
int32_t SE_Sin(SECall* call);                      // 78
int32_t SE_Cos(SECall* call);                      // 79
int32_t SE_Random(SECall* call);                   // 80
int32_t SE_RandomLowNorm(SECall* call);            // 81
int32_t SE_GetRotMatrixFromAngles(SECall* call);   // 82
int32_t SE_GetAnglesFromRotMatrix(SECall* call);   // 83
int32_t SE_GetAnglesFromVector(SECall* call);      // 84
int32_t SE_MatrixMultiplySelfRight(SECall* call);  // 85
int32_t SE_MatrixMultiplySelfLeft(SECall* call);   // 86
int32_t SE_MatrixMultiply(SECall* call);           // 87
int32_t SE_MatrixMultiplyInv(SECall* call);        // 88
int32_t SE_RotateVector(SECall* call);             // 89
int32_t SE_RotateVectorInv(SECall* call);          // 90
int32_t SE_ScriptComputeExpression(SECall* call);  // 91
int32_t SE_CalcGalaxyEscortOffset(SECall* call);   // 140
